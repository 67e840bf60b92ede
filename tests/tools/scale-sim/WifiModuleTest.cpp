#include "WifiModule.h"

#include <gtest/gtest.h>

#include <fstream>

#include "ScaleModel.h"

using namespace scalesim;

namespace {

constexpr LineState kScaleLine{9600, 0};
constexpr LineState kModuleLine{115200, 0};

class WifiScale {
public:
    explicit WifiScale(WifiSettings wifi = {}, ScaleSettings scale = {})
        : memory_(AlibiMemory::Generate(1, 1)),
          wifi_(Defaults(std::move(wifi))),
          model_(scale, memory_, wifi_) {}

    std::string Talk(const std::string& bytes, LineState line) {
        Replies replies;
        model_.Receive(bytes, line, Clock::now(), replies);
        std::string text;
        for (const Reply& reply : replies) {
            text += reply.bytes;
        }
        return text;
    }

    // Swificfg at the scale's speed, then "+++", AT and ATE0 at the module's.
    void EnterConfigMode() {
        ASSERT_EQ(Talk("Swificfg\r\n", kScaleLine), "Mwificfg\r\n");
        ASSERT_EQ(Talk("+++", kModuleLine), "CLOSED\r\n");
        ASSERT_EQ(Talk("AT\r\n", kModuleLine), "\r\nOK\r\n");
        ASSERT_EQ(Talk("ATE0\r\n", kModuleLine), "\r\nOK\r\n");
    }

    const ScaleModel& Model() const { return model_; }

private:
    static WifiSettings Defaults(WifiSettings wifi) {
        if (wifi.networks.empty()) {
            wifi.networks = WifiSettings::DefaultNetworks();
        }
        return wifi;
    }

    AlibiMemory memory_;
    WifiSettings wifi_;
    ScaleModel model_;
};

}  // namespace

TEST(WifiModule, AnswersTheConfigurationCommands) {
    const struct {
        const char* command;
        const char* reply;
    } cases[] = {
        {"AT+CWDHCP_DEF=1,1\r\n", "\r\nOK\r\n"},
        {"AT+CWDHCP_DEF=0,0\r\n", "\r\nOK\r\n"},
        {"AT+CWDHCP_DEF=7,1\r\n", "\r\nERROR\r\n"},
        {"AT+CIPAP_DEF=\"10.0.0.5\",\"10.0.0.1\",\"255.255.255.0\"\r\n", "\r\nOK\r\n"},
        {"AT+CIPAP_DEF=\"10.0.0\",\"10.0.0.1\",\"255.255.255.0\"\r\n", "\r\nERROR\r\n"},
        {"AT+CWMODE_DEF=3\r\n", "\r\nOK\r\n"},
        {"AT+SAVETRANSLINK=1,\"192.168.1.10\",80\r\n", "\r\nOK\r\n"},
        {"AT+SAVETRANSLINK=0\r\n", "\r\nOK\r\n"},
        {"AT+CWDHCP_DEF?\r\n", "+CWDHCP_DEF:3\r\n\r\nOK\r\n"},
        {"AT+CWJAP_DEF?\r\n", "No AP\r\n\r\nOK\r\n"},
        {"AT+NONSENSE\r\n", "\r\nERROR\r\n"},
    };
    for (const auto& c : cases) {
        WifiScale scale;
        scale.EnterConfigMode();
        EXPECT_EQ(scale.Talk(c.command, kModuleLine), c.reply) << c.command;
    }
}

TEST(WifiModule, JoinsOnlyWithTheRightPassword) {
    const struct {
        const char* command;
        bool connected;
        const char* failure;
    } cases[] = {
        {"AT+CWJAP_DEF=\"VESK-Office\",\"tarvo2019\"\r\n", true, ""},
        {"AT+CWJAP_DEF=\"VESK-Office\",\"wrong\"\r\n", false, "+CWJAP:2\r\n\r\nFAIL\r\n"},
        {"AT+CWJAP_DEF=\"Nowhere\",\"x\"\r\n", false, "+CWJAP:3\r\n\r\nFAIL\r\n"},
        {"AT+CWJAP_DEF=\"Warehouse\",\"palette#7\",\"C8:3A:35:0E:9D:10\"\r\n", true, ""},
        {"AT+CWJAP_DEF=\"Warehouse\",\"palette#7\",\"00:00:00:00:00:01\"\r\n", false,
         "+CWJAP:3\r\n\r\nFAIL\r\n"},
        {"AT+CWJAP_DEF=\"Guest\",\"\"\r\n", true, ""},
    };
    for (const auto& c : cases) {
        WifiScale scale;
        scale.EnterConfigMode();
        const std::string reply = scale.Talk(c.command, kModuleLine);
        if (c.connected) {
            EXPECT_EQ(reply, "WIFI CONNECTED\r\nWIFI GOT IP\r\n\r\nOK\r\n") << c.command;
            EXPECT_EQ(scale.Talk("AT+CWJAP_DEF?\r\n", kModuleLine).rfind("+CWJAP_DEF:\"", 0), 0u);
        } else {
            EXPECT_EQ(reply, c.failure) << c.command;
        }
    }
}

TEST(WifiModule, UnescapesQuotesCommasAndBackslashes) {
    WifiSettings wifi;
    wifi.networks = {{"My \"Net\", 2", "pa\\ss,\"word", "02:00:00:00:00:09", -50, 3}};
    WifiScale scale(wifi);
    scale.EnterConfigMode();
    EXPECT_EQ(
        scale.Talk("AT+CWJAP_DEF=\"My \\\"Net\\\"\\, 2\",\"pa\\\\ss\\,\\\"word\"\r\n", kModuleLine),
        "WIFI CONNECTED\r\nWIFI GOT IP\r\n\r\nOK\r\n");
}

TEST(WifiModule, ListsTheAccessPointsInRange) {
    WifiScale scale;
    scale.EnterConfigMode();
    EXPECT_EQ(scale.Talk("AT+CWMODE_DEF=3\r\n", kModuleLine), "\r\nOK\r\n");
    const std::string list = scale.Talk("AT+CWLAP\r\n", kModuleLine);
    EXPECT_NE(list.find("+CWLAP:(3,\"VESK-Office\",-48,\"a4:2b:b0:11:22:33\",6)\r\n"),
              std::string::npos);
    EXPECT_NE(list.find("+CWLAP:(0,\"Guest\""), std::string::npos);
    EXPECT_EQ(list.substr(list.size() - 6), "\r\nOK\r\n");
}

TEST(WifiModule, HandsTheLineBackOnEscape) {
    WifiScale scale;
    scale.EnterConfigMode();
    EXPECT_TRUE(scale.Model().WifiModeActive());
    EXPECT_EQ(scale.Talk("\x1b", kModuleLine), "");
    EXPECT_FALSE(scale.Model().WifiModeActive());
    EXPECT_EQ(scale.Talk("SJ\r\n", kScaleLine), "MJ\r\n");
    EXPECT_EQ(scale.Talk("Swifisrv=?\r\n", kScaleLine), "Mwifisrv=0\r\n");
}

TEST(WifiModule, HearsNothingAtTheScaleSpeed) {
    WifiScale scale;
    ASSERT_EQ(scale.Talk("Swificfg\r\n", kScaleLine), "Mwificfg\r\n");
    EXPECT_EQ(scale.Talk("AT\r\n", kScaleLine), "");
    EXPECT_EQ(scale.Talk("\x1b", kScaleLine), "");
    EXPECT_TRUE(scale.Model().WifiModeActive());
}

TEST(WifiModule, EchoesUntilToldNotTo) {
    WifiSettings wifi;
    wifi.echo = true;
    WifiScale scale(wifi);
    ASSERT_EQ(scale.Talk("Swificfg\r\n", kScaleLine), "Mwificfg\r\n");
    EXPECT_EQ(scale.Talk("AT\r\n", kModuleLine), "AT\r\r\n\r\nOK\r\n");
    EXPECT_EQ(scale.Talk("ATE0\r\n", kModuleLine), "ATE0\r\r\n\r\nOK\r\n");
    EXPECT_EQ(scale.Talk("AT\r\n", kModuleLine), "\r\nOK\r\n");
}

TEST(WifiModule, ShowsItsFaults) {
    WifiSettings silent;
    silent.silent = true;
    WifiScale quiet(silent);
    ASSERT_EQ(quiet.Talk("Swificfg\r\n", kScaleLine), "Mwificfg\r\n");
    EXPECT_EQ(quiet.Talk("+++", kModuleLine), "");
    EXPECT_EQ(quiet.Talk("AT\r\n", kModuleLine), "");

    ScaleSettings refusing;
    refusing.refuseWificfg = true;
    WifiScale refused({}, refusing);
    EXPECT_EQ(refused.Talk("Swificfg\r\n", kScaleLine), "ES\r\n");
    EXPECT_FALSE(refused.Model().WifiModeActive());

    WifiSettings noOk;
    noOk.joinWithoutOk = true;
    WifiScale joining(noOk);
    joining.EnterConfigMode();
    EXPECT_EQ(joining.Talk("AT+CWJAP_DEF=\"Guest\",\"\",\"02:1a:11:f0:00:01\"\r\n", kModuleLine),
              "WIFI CONNECTED\r\nWIFI GOT IP\r\n");
}

TEST(WifiModule, LogsEveryCommandItReceives) {
    WifiSettings wifi;
    wifi.logPath = ::testing::TempDir() + "scale-sim-wifi.log";
    std::remove(wifi.logPath.c_str());
    WifiScale scale(wifi);
    scale.EnterConfigMode();
    scale.Talk("AT+CWJAP_DEF=\"a\\\"b\",\"c\\,d\"\r\n", kModuleLine);
    scale.Talk("\x1b", kModuleLine);
    std::ifstream log(wifi.logPath);
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) {
        lines.push_back(line);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"+++", "AT", "ATE0",
                                               "AT+CWJAP_DEF=\"a\\\"b\",\"c\\,d\"", "<ESC>"}));
}
