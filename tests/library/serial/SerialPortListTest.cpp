#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/SerialDevice.h"
#include "serial/CSerialPort.h"

namespace {

namespace fs = std::filesystem;

// A stand-in for /sys/class/tty with the kinds of entries a machine has.
class FakeTtyClass {
public:
    FakeTtyClass() : root_(fs::temp_directory_path() / ("qel-tty-" + std::to_string(::getpid()))) {
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    ~FakeTtyClass() { fs::remove_all(root_); }

    void Add(const std::string& name, bool hasDevice, const char* type = nullptr) {
        fs::create_directories(root_ / name);
        if (hasDevice) {
            fs::create_directories(root_ / name / "device");
        }
        if (type != nullptr) {
            std::ofstream(root_ / name / "type") << type << "\n";
        }
    }
    std::string Path() const { return root_.string(); }

private:
    fs::path root_;
};

TEST(SerialPortListTest, ListsHardwarePortsOnlyInNaturalOrder) {
    FakeTtyClass tty;
    tty.Add("tty0", false);       // virtual console
    tty.Add("tty63", false);      // virtual console
    tty.Add("ptmx", false);       // pseudo-terminal multiplexer
    tty.Add("ttyS0", true, "4");  // a real 16550A
    tty.Add("ttyS10", true, "4");
    tty.Add("ttyS2", true, "4");
    tty.Add("ttyS3", true, "0");  // slot with no UART behind it
    tty.Add("ttyUSB0", true);     // USB converter: no type file
    tty.Add("ttyACM1", true);
    EXPECT_EQ(qel::ListSerialPorts(tty.Path(), "/dev"),
              (std::vector<std::string>{"/dev/ttyACM1", "/dev/ttyS0", "/dev/ttyS2", "/dev/ttyS10",
                                        "/dev/ttyUSB0"}));
}

TEST(SerialPortListTest, MissingClassFolderGivesAnEmptyList) {
    EXPECT_TRUE(qel::ListSerialPorts("/nonexistent-qel", "/dev").empty());
}

TEST(SerialPortListTest, ComportsIsTextWithEveryEntryEndedByCrLf) {
    qel::CSerialPort port;
    const char* list = port.GetParam("comports");
    ASSERT_NE(list, nullptr);
    std::string text = list;
    if (!text.empty()) {
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
        EXPECT_EQ(text.front(), '/');
    }
}

TEST(NaturalLessTest, NumbersCompareByValue) {
    EXPECT_TRUE(qel::NaturalLess("ttyS2", "ttyS10"));
    EXPECT_FALSE(qel::NaturalLess("ttyS10", "ttyS2"));
    EXPECT_TRUE(qel::NaturalLess("ttyACM0", "ttyS0"));
    EXPECT_FALSE(qel::NaturalLess("ttyS1", "ttyS1"));
    EXPECT_TRUE(qel::NaturalLess("ttyS", "ttyS0"));
}

}  // namespace
