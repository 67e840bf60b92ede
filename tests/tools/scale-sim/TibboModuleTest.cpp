#include "TibboModule.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace scalesim;

namespace {

std::string Block(int number, const std::string& data) {
    std::string packet = "D";
    packet += static_cast<char>(number >> 8);
    packet += static_cast<char>(number & 0xff);
    return packet + data;
}

// What a program reads from the identity reply: the letters at the places it looks.
std::string ModeAfterSlashes(const std::string& identity) {
    const std::string afterFirst = identity.substr(identity.find('/') + 1, 10);
    return afterFirst.substr(afterFirst.find('/') + 1, 5);
}

class Module {
public:
    explicit Module(TibboSettings settings = {}) : module_(settings, serial_) {}
    std::string Send(std::string_view command) { return module_.Handle(command).value_or("-"); }
    ModuleSerial serial_;
    TibboModule module_;
};

}  // namespace

TEST(TibboModule, IdentifiesItselfWithFieldsAtFixedPlaces) {
    TibboSettings settings;
    settings.mac = "0.36.119.87.16.42";
    settings.owner = "Shop";
    Module module(settings);
    const std::string identity = module.Send("X");
    EXPECT_EQ(identity, "A000.036.119.087.016.042/0000/N----/Shop/scale-sim");
    EXPECT_LE(identity.size(), 64u);
    EXPECT_EQ(identity[30], 'N');
    EXPECT_NE(ModeAfterSlashes(identity).find('N'), std::string::npos);
    // The owner is the field between the last two '/'.
    const std::string beforeLast = identity.substr(0, identity.rfind('/'));
    EXPECT_EQ(beforeLast.substr(beforeLast.rfind('/') + 1), "Shop");
    EXPECT_EQ(module.Send("V"), "A3.66/EM1000");
}

TEST(TibboModule, KeepsTheSerialSettingsItIsGiven) {
    Module module;
    EXPECT_EQ(module.Send("GBR"), "A3");
    EXPECT_EQ(module.Send("PBR7"), "A");
    EXPECT_EQ(module.Send("PPR1"), "A");
    EXPECT_EQ(module.serial_.baud, 115200);
    EXPECT_EQ(module.serial_.parity, 'E');
    EXPECT_EQ(module.Send("L"), "A");
    EXPECT_EQ(module.Send("GBR"), "A7");
    EXPECT_EQ(module.Send("O"), "A");
    EXPECT_EQ(module.Send("PBR8"), "C");
    EXPECT_EQ(module.Send("PPR3"), "C");
    EXPECT_EQ(module.Send("PBR"), "C");
    EXPECT_EQ(module.serial_.baud, 115200);
}

TEST(TibboModule, LoadsAFirmwareImage) {
    TibboSettings settings;
    settings.imageOutPath = ::testing::TempDir() + "scale-sim-image.bin";
    Module module(settings);
    EXPECT_EQ(module.Send("Q"), "R") << "not in loading mode";
    EXPECT_EQ(module.Send("N"), "D") << "not logged in";
    EXPECT_EQ(module.Send("L"), "A");
    EXPECT_EQ(module.Send("N"), "A");
    EXPECT_EQ(module.Send("X")[30], 'L');
    EXPECT_NE(module.Send("X").substr(25, 10).find('L'), std::string::npos);
    EXPECT_EQ(ModeAfterSlashes(module.Send("X")).find('N'), std::string::npos);
    EXPECT_EQ(module.Send("Q"), "A");
    const std::string first(128, '\0');
    const std::string second(128, 'b');
    EXPECT_EQ(module.Send(Block(0, first)), "A");
    EXPECT_EQ(module.Send(Block(2, "c")), "F") << "a block left out";
    EXPECT_EQ(module.Send(Block(1, second)), "A");
    EXPECT_EQ(module.Send(Block(2, "tail")), "A");
    EXPECT_EQ(module.Send("E"), "A");
    EXPECT_EQ(module.Send("X")[30], 'N');
    std::ifstream image(settings.imageOutPath, std::ios::binary);
    std::stringstream content;
    content << image.rdbuf();
    EXPECT_EQ(content.str(), first + second + "tail");
}

TEST(TibboModule, ShowsItsFaults) {
    {
        TibboSettings settings;
        settings.refuseBlock = 1;
        settings.startInLoading = true;
        Module module(settings);
        EXPECT_EQ(module.Send("Q"), "A");
        EXPECT_EQ(module.Send(Block(0, std::string(128, 'a'))), "A");
        EXPECT_EQ(module.Send(Block(1, "x")), "F");
    }
    {
        TibboSettings settings;
        settings.stayInLoading = true;
        settings.startInLoading = true;
        Module module(settings);
        module.Send("Q");
        EXPECT_EQ(module.Send("E"), "A");
        EXPECT_EQ(module.Send("X")[30], 'L');
    }
    for (const char* refused : {"L", "Q", "E", "PBR"}) {
        TibboSettings settings;
        settings.refuseCommand = refused;
        Module module(settings);
        EXPECT_EQ(module.Send(std::string(refused) == "PBR" ? "PBR3" : refused), "D") << refused;
    }
    TibboSettings silent;
    silent.silent = true;
    Module quiet(silent);
    EXPECT_EQ(quiet.Send("X"), "-");
}
