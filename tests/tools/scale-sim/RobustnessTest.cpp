// Bytes from a program under test can be anything: the simulator must keep answering.

#include <gtest/gtest.h>

#include <random>

#include "ScaleModel.h"
#include "TibboModule.h"

using namespace scalesim;

namespace {

std::string RandomBytes(std::mt19937& random, std::size_t maxLength, bool likeCommands) {
    static const std::string pieces[] = {"S",     "Salibi", "next", "prn", "\r\n", "\n",
                                         "Swifi", "cfg",    "\x1b", "+++", "AT",   "Sfirmwupd"};
    std::string bytes;
    const std::size_t length = random() % (maxLength + 1);
    while (bytes.size() < length) {
        if (likeCommands && random() % 2 == 0) {
            bytes += pieces[random() % std::size(pieces)];
        } else {
            bytes += static_cast<char>(random() % 256);
        }
    }
    return bytes;
}

}  // namespace

TEST(Robustness, TheScaleSurvivesAnyBytes) {
    std::mt19937 random(2024);
    const AlibiMemory memory = AlibiMemory::Generate(5, 1);
    WifiSettings wifi;
    wifi.networks = WifiSettings::DefaultNetworks();
    const LineState lines[] = {{9600, 0}, {115200, 0}, {0, 0}, {115200, 'E'}, {-1, 0}};
    for (int round = 0; round < 50; ++round) {
        ScaleSettings settings;
        settings.firmwareLines = 3;
        ScaleModel model(settings, memory, wifi);
        for (int i = 0; i < 100; ++i) {
            Replies replies;
            model.Receive(RandomBytes(random, 64, true), lines[random() % std::size(lines)],
                          Clock::now(), replies);
        }
        // Whatever happened, the scale can be brought back to its commands.
        Replies replies;
        model.Receive("\x1b", {115200, 0}, Clock::now(), replies);
        model.Receive("\r\nSJ\r\n", {9600, 0}, Clock::now() + std::chrono::seconds(20), replies);
        Replies more;
        model.Receive("SJ\r\n", {9600, 0}, Clock::now() + std::chrono::seconds(20), more);
        ASSERT_FALSE(more.empty());
        EXPECT_EQ(more.back().bytes, "MJ\r\n");
    }
}

TEST(Robustness, TheScaleDropsAnEndlessLine) {
    const AlibiMemory memory = AlibiMemory::Generate(1, 1);
    WifiSettings wifi;
    ScaleModel model(ScaleSettings{}, memory, wifi);
    Replies replies;
    model.Receive(std::string(100'000, 'S'), {9600, 0}, Clock::now(), replies);
    model.Receive("\r\nST\r\n", {9600, 0}, Clock::now(), replies);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].bytes, "MT\r\n");
}

TEST(Robustness, TheEthernetModuleSurvivesAnyDatagram) {
    std::mt19937 random(77);
    ModuleSerial serial;
    TibboModule module(TibboSettings{}, serial);
    for (int i = 0; i < 5000; ++i) {
        const std::string datagram = RandomBytes(random, 140, false);
        const auto reply = module.Handle(datagram);
        ASSERT_TRUE(reply.has_value());
        ASSERT_FALSE(reply->empty());
    }
    EXPECT_GE(serial.baud, 1200);
    EXPECT_EQ(module.Handle("X")->substr(0, 1), "A");
}
