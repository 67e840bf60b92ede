// The WiFi configuration end to end: the scale object on a pseudo-terminal of
// the scale simulator, whose WiFi module runs only at 115200 baud and whose
// scale understands its commands only at 9600, so every exchange that works
// also went out at the right speed. The module's log shows what it received.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "QELScale.h"
#include "ScaleSimProcess.h"
#include "WiFiTestSupport.h"

namespace {

using namespace std::chrono_literals;
using namespace wifitest;

const std::vector<std::string> kHandshake = {"+++", "AT", "ATE0"};
const std::string kEscape = "<ESC>";

template <typename... Texts>
std::vector<std::string> Commands(const Texts&... texts) {
    return {std::string(texts)...};
}

std::vector<std::string> operator+(std::vector<std::string> first,
                                   const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

class WiFiScaleSimTest : public ::testing::Test {
protected:
    ~WiFiScaleSimTest() override {
        scale.reset();
        sim.reset();
        std::remove(logPath.c_str());
    }

    void StartSim(std::vector<std::string> options = {}) {
        options.insert(options.begin(), {"--pty", "--wifi-log", logPath});
        sim = std::make_unique<ScaleSimProcess>(options);
        ASSERT_NE(scale, nullptr);
        Device()->SetConnectionKind(0);
        ASSERT_TRUE(Device()->SetParameter("COM", sim->PtyPath().c_str()));
        ASSERT_TRUE(Device()->Connect());
    }

    CVESKDeviceInterface* Device() { return scale.get(); }
    bool Set(const char* key, const char* value) { return scale->SetWiFiParameter(key, value); }
    std::optional<std::string> Get(const char* key) { return Text(scale->GetWiFiParameter(key)); }
    std::string Baud() { return Device()->GetParameter("baud"); }

    // Commands the module received since the last call, without line ends.
    std::vector<std::string> TakeModuleLog() {
        std::vector<std::string> commands;
        std::ifstream log(logPath, std::ios::binary);
        for (std::string line; std::getline(log, line);) {
            commands.push_back(line);
        }
        log.close();
        std::remove(logPath.c_str());
        return commands;
    }

    // The scale itself still answers at 9600 baud.
    void ExpectScaleAnswersAt9600() {
        EXPECT_EQ(Baud(), "9600");
        EXPECT_TRUE(Device()->SendSJ(1000));
    }

    std::string logPath = ::testing::TempDir() + "wifi-" +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                          std::to_string(getpid()) + ".log";
    std::unique_ptr<ScaleSimProcess> sim;
    ScalePtr scale{GetVESKScaleInstance()};
};

TEST_F(WiFiScaleSimTest, StoringSettingsAndUnknownQueriesSendNothing) {
    StartSim();
    for (const char* key :
         {"ssid", "password", "bssid", "clientip", "staticip", "staticgateway", "staticmask"}) {
        EXPECT_TRUE(Set(key, "10.1.2.3")) << key;
    }
    EXPECT_TRUE(Set("clientport", "8080"));
    EXPECT_EQ(Get("xyz"), std::nullopt);
    EXPECT_FALSE(Set("xyz", "1"));
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(TakeModuleLog().empty());
    // Nothing was left half-sent on the scale's side either: it answers at once.
    ExpectScaleAnswersAt9600();
}

TEST_F(WiFiScaleSimTest, DhcpEnableAndDisableChangeTheModulesSettings) {
    StartSim();
    ASSERT_TRUE(Set("staticip", "192.168.7.2"));
    ASSERT_TRUE(Set("staticgateway", "192.168.7.1"));
    ASSERT_TRUE(Set("staticmask", "255.255.255.0"));

    EXPECT_TRUE(Set("DHCP", "disable"));
    EXPECT_EQ(TakeModuleLog(), kHandshake + Commands("AT+CWDHCP_DEF=0,0",
                                                     "AT+CIPAP_DEF=\"192.168.7.2\",\"192.168.7.1\","
                                                     "\"255.255.255.0\"",
                                                     kEscape));
    ExpectScaleAnswersAt9600();
    EXPECT_EQ(Get("dhcp"), "+CWDHCP_DEF:2\r\n") << "the soft access point's DHCP is off";
    EXPECT_EQ(Get("dhcpfields"),
              "+CIPAP_DEF:ip:\"192.168.7.2\"\r\n+CIPAP_DEF:gateway:\"192.168.7.1\"\r\n"
              "+CIPAP_DEF:netmask:\"255.255.255.0\"\r\n\r\nOK\r\n");

    TakeModuleLog();
    ASSERT_TRUE(Set("staticip", "192.168.7.300"));
    EXPECT_FALSE(Set("DHCP", "disable")) << "the module refuses the address";
    EXPECT_EQ(Get("dhcpfields"),
              "+CIPAP_DEF:ip:\"192.168.7.2\"\r\n+CIPAP_DEF:gateway:\"192.168.7.1\"\r\n"
              "+CIPAP_DEF:netmask:\"255.255.255.0\"\r\n\r\nOK\r\n");

    TakeModuleLog();
    EXPECT_TRUE(Set("DHCP", "enable"));
    EXPECT_EQ(TakeModuleLog(), kHandshake + Commands("AT+CWDHCP_DEF=1,1", kEscape));
    ExpectScaleAnswersAt9600();
}

TEST_F(WiFiScaleSimTest, UnknownDhcpValueOnlyEntersAndLeaves) {
    StartSim();
    EXPECT_FALSE(Set("DHCP", "on"));
    EXPECT_EQ(TakeModuleLog(), kHandshake + Commands(kEscape));
    ExpectScaleAnswersAt9600();
}

TEST_F(WiFiScaleSimTest, ClientModeSwitchesTheScalesServer) {
    StartSim();
    ASSERT_TRUE(Set("clientip", "192.168.1.20"));
    ASSERT_TRUE(Set("clientport", "80"));

    // The second ESC of the dialogue meets the scale, not the module, and is
    // not in the module's log.
    EXPECT_TRUE(Set("client", "disable"));
    EXPECT_EQ(TakeModuleLog(), kHandshake + Commands("AT+SAVETRANSLINK=0", kEscape));
    EXPECT_EQ(Get("workmode"), "Mwifisrv=1,80\r\n") << "the scale took Swifisrv=1,80";
    ExpectScaleAnswersAt9600();

    TakeModuleLog();
    EXPECT_TRUE(Set("client", "enable"));
    EXPECT_EQ(TakeModuleLog(), kHandshake + Commands(kEscape) + kHandshake +
                                   Commands("AT+SAVETRANSLINK=1,\"192.168.1.20\",80", kEscape));
    EXPECT_EQ(Get("workmode"), "Mwifisrv=0\r\n");
    ExpectScaleAnswersAt9600();
}

TEST_F(WiFiScaleSimTest, QueriesReturnTheModulesAndTheScalesReplies) {
    StartSim();
    EXPECT_EQ(Get("dhcp"), "+CWDHCP_DEF:3\r\n");
    EXPECT_EQ(Get("network"), "No AP\r\n\r\nOK\r\n");
    EXPECT_EQ(Get("dhcpfields"),
              "+CIPAP_DEF:ip:\"192.168.4.1\"\r\n+CIPAP_DEF:gateway:\"192.168.4.1\"\r\n"
              "+CIPAP_DEF:netmask:\"255.255.255.0\"\r\n\r\nOK\r\n");
    EXPECT_EQ(Get("workmode"), "Mwifisrv=0\r\n");
    EXPECT_EQ(TakeModuleLog(), kHandshake + Commands("AT+CWDHCP_DEF?", kEscape) + kHandshake +
                                   Commands("AT+CWJAP_DEF?", kEscape) + kHandshake +
                                   Commands("AT+CIPAP_DEF?", kEscape));
    ExpectScaleAnswersAt9600();
}

TEST_F(WiFiScaleSimTest, NetworkListHoldsEveryAccessPoint) {
    StartSim({"--wifi-network", "Net,secret,aa:bb:cc:dd:ee:ff,-50,6", "--wifi-network",
              "Guest,,aa:bb:cc:dd:ee:01,-70,11"});
    auto started = Clock::now();
    EXPECT_EQ(Get("networks"),
              "\r\nOK\r\n"
              "+CWLAP:(3,\"Net\",-50,\"aa:bb:cc:dd:ee:ff\",6)\r\n"
              "+CWLAP:(0,\"Guest\",-70,\"aa:bb:cc:dd:ee:01\",11)\r\n"
              "\r\nOK\r\n");
    double elapsed = SecondsSince(started);
    EXPECT_GE(elapsed, 5.0);
    EXPECT_LT(elapsed, 5.0 + 0.5 + 2.5);
    EXPECT_EQ(TakeModuleLog(), kHandshake + Commands("AT+CWMODE_DEF=3", "AT+CWLAP", kEscape));
    ExpectScaleAnswersAt9600();
}

// Without an access point named, only the module's OK means joined.
TEST_F(WiFiScaleSimTest, JoinWithoutAccessPointIgnoresWifiConnectedAlone) {
    StartSim({"--wifi-join-no-ok"});
    ASSERT_TRUE(Set("ssid", "VESK-Office"));
    ASSERT_TRUE(Set("password", "tarvo2019"));
    auto started = Clock::now();
    EXPECT_FALSE(Set("network", "connect"));
    EXPECT_GE(SecondsSince(started), 7.0);
    EXPECT_EQ(TakeModuleLog(),
              kHandshake + Commands("AT+CWJAP_DEF=\"VESK-Office\",\"tarvo2019\"", kEscape));
    EXPECT_EQ(Get("network"),
              "+CWJAP_DEF:\"VESK-Office\",\"a4:2b:b0:11:22:33\",6,-48\r\n\r\nOK\r\n")
        << "the module did join";
    ExpectScaleAnswersAt9600();
}

// With an access point named, "WIFI CONNECTED" counts. A quote, a comma and a
// backslash in the values reach the module escaped, which reads them back as
// the network's own name and password.
TEST_F(WiFiScaleSimTest, JoinWithAccessPointTakesWifiConnectedAndEscapedValues) {
    StartSim({"--wifi-join-no-ok", "--wifi-network",
              "Cafe \"Net\",pa\"ss\\,wo\\\\rd,aa:bb:cc:dd:ee:ff,-50,6", "--wifi-network",
              "Cafe \"Net\",other,aa:bb:cc:dd:ee:01,-40,1"});
    ASSERT_TRUE(Set("ssid", "Cafe \"Net\""));
    ASSERT_TRUE(Set("password", "pa\"ss,wo\\rd"));
    ASSERT_TRUE(Set("bssid", "aa:bb:cc:dd:ee:ff"));
    auto started = Clock::now();
    EXPECT_TRUE(Set("network", "connect"));
    double elapsed = SecondsSince(started);
    EXPECT_GE(elapsed, 5.0);
    EXPECT_LT(elapsed, 7.0) << "the shorter silence of the three-argument form";
    EXPECT_EQ(TakeModuleLog(),
              kHandshake + Commands("AT+CWJAP_DEF=\"Cafe \\\"Net\\\"\","
                                    "\"pa\\\"ss\\,wo\\\\rd\",\"aa:bb:cc:dd:ee:ff\"",
                                    kEscape));
    EXPECT_EQ(Get("network"),
              "+CWJAP_DEF:\"Cafe \"Net\"\",\"aa:bb:cc:dd:ee:ff\",6,-50\r\n\r\nOK\r\n");
    ExpectScaleAnswersAt9600();
}

TEST_F(WiFiScaleSimTest, SilentModuleCostsASecondPerHandshake) {
    StartSim({"--wifi-silent"});
    auto started = Clock::now();
    EXPECT_EQ(Get("network"), "");
    double elapsed = SecondsSince(started);
    EXPECT_GE(elapsed, 3.0 + 0.2);
    EXPECT_LT(elapsed, 3.0 + 0.2 + 0.3 + 2.5);
    EXPECT_EQ(TakeModuleLog(), kHandshake + Commands("AT+CWJAP_DEF?", kEscape));
    ExpectScaleAnswersAt9600();
}

TEST_F(WiFiScaleSimTest, RefusingScaleNeverReachesTheModule) {
    StartSim({"--wifi-refuse"});
    auto started = Clock::now();
    EXPECT_FALSE(Set("DHCP", "enable"));
    double elapsed = SecondsSince(started);
    // A second for the refusal, two for the DHCP command the scale ignores,
    // and one for the "SJ" that the ESC at 115200 garbles on the scale's side.
    EXPECT_GE(elapsed, 1.0 + 2.0);
    EXPECT_LT(elapsed, 1.0 + 2.0 + 1.0 + 0.2 + 2.5);
    EXPECT_TRUE(TakeModuleLog().empty());
    ExpectScaleAnswersAt9600();
}

}  // namespace
