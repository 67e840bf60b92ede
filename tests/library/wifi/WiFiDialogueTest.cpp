// The WiFi dialogues through the public interface, with the test playing the
// scale and its WiFi module on the far end of a pseudo-terminal: the exact
// commands, the speed each one goes out at, what the replies decide and how
// long the dialogues wait.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ModulePeer.h"
#include "QELScale.h"
#include "WiFiTestSupport.h"

namespace {

using namespace std::chrono_literals;
using namespace wifitest;

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";

class WiFiDialogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(scale, nullptr);
        Device()->SetConnectionKind(0);
        ASSERT_TRUE(Device()->SetParameter("COM", peer.SlavePath().c_str()));
        ASSERT_TRUE(Device()->Connect());
    }

    CVESKDeviceInterface* Device() { return scale.get(); }
    bool Set(const char* key, const char* value) { return scale->SetWiFiParameter(key, value); }
    std::optional<std::string> Get(const char* key) { return Text(scale->GetWiFiParameter(key)); }
    std::string Baud() { return Device()->GetParameter("baud"); }

    Exchange Sent() const {
        Exchange sent;
        for (const Heard& heard : peer.HeardCommands()) {
            sent.emplace_back(heard.text, heard.baud);
        }
        return sent;
    }

    // Time from the moment the peer heard `first` to the moment it heard
    // `second` (the first occurrences).
    double SecondsBetween(const std::string& first, const std::string& second) const {
        Clock::time_point from{}, to{};
        bool fromSeen = false, toSeen = false;
        for (const Heard& heard : peer.HeardCommands()) {
            if (!fromSeen && heard.text == first) {
                from = heard.at;
                fromSeen = true;
            } else if (fromSeen && !toSeen && heard.text == second) {
                to = heard.at;
                toSeen = true;
            }
        }
        EXPECT_TRUE(fromSeen && toSeen) << first << " then " << second;
        return std::chrono::duration<double>(to - from).count();
    }

    void ExpectNothingSent() {
        peer.WaitForQuiet(300ms);
        EXPECT_TRUE(peer.CommandTexts().empty());
        EXPECT_EQ(peer.Unframed(), "");
    }

    ModulePeer peer;  // outlives the scale, so the line never hangs up under it
    ScalePtr scale{GetVESKScaleInstance()};
};

// ---- Settings ---------------------------------------------------------------

TEST_F(WiFiDialogueTest, StoringSettingsSendsNothing) {
    const struct {
        const char* key;
        const char* value;
    } settings[] = {
        {"ssid", "Net"},
        {"password", "secret"},
        {"bssid", "aa:bb:cc:dd:ee:ff"},
        {"clientip", "192.168.1.10"},
        {"clientport", "8080"},
        {"staticip", "192.168.1.50"},
        {"staticgateway", "192.168.1.1"},
        {"staticmask", "255.255.255.0"},
        {"ssid", "Caf\xc3\xa9 \"Net\", 2\\5"},
        {"clientport", ""},
    };
    for (const auto& setting : settings) {
        EXPECT_TRUE(Set(setting.key, setting.value)) << setting.key << "=" << setting.value;
    }
    for (const char* key : {"SSID", "Password", "xyz", ""}) {
        EXPECT_FALSE(Set(key, "Net")) << key;
    }
    EXPECT_FALSE(Set(nullptr, "Net"));
    EXPECT_FALSE(Set("ssid", nullptr));
    EXPECT_EQ(Get("xyz"), std::nullopt);
    EXPECT_EQ(Get("DHCP"), std::nullopt) << "query keys are lower case";
    EXPECT_EQ(Get(nullptr), std::nullopt);
    ExpectNothingSent();
}

// A value that would split a command, and a port that is not a port number,
// are refused; the stored value stays as it was.
TEST_F(WiFiDialogueTest, ValuesThatCannotTravelAreRefused) {
    ASSERT_TRUE(Set("staticip", "10.0.0.5"));
    ASSERT_TRUE(Set("staticgateway", "10.0.0.1"));
    ASSERT_TRUE(Set("staticmask", "255.0.0.0"));
    const struct {
        const char* key;
        const char* value;
    } refused[] = {
        {"staticip", "10.0.0.6\r\nAT+RESTORE"},
        {"staticgateway", "10.0.0.2\n"},
        {"staticmask", "255.0.0.0\x1bST"},
        {"ssid", "a\tb"},
        {"clientport", "80,1"},
        {"clientport", "80x"},
        {"clientport", " 80"},
        {"clientport", "+80"},
        {"clientport", "0"},
        {"clientport", "65536"},
        {"clientport", "123456"},
    };
    for (const auto& value : refused) {
        EXPECT_FALSE(Set(value.key, value.value)) << value.key;
    }
    EXPECT_TRUE(Set("clientport", "65535"));
    ExpectNothingSent();

    const std::string addressCommand = "AT+CIPAP_DEF=\"10.0.0.5\",\"10.0.0.1\",\"255.0.0.0\"\r\n";
    peer.Answer("AT+CWDHCP_DEF=0,0\r\n", kOk);
    peer.Answer(addressCommand, kOk);
    EXPECT_TRUE(Set("DHCP", "disable"));
    EXPECT_EQ(Sent(), EnterConfig() + ToModule("AT+CWDHCP_DEF=0,0\r\n") + ToModule(addressCommand) +
                          LeaveConfig());
}

TEST_F(WiFiDialogueTest, SettingsLiveOnlyWhileConnected) {
    ASSERT_TRUE(Set("staticip", "10.0.0.5"));
    ASSERT_TRUE(Device()->Disconnect());
    EXPECT_FALSE(Set("staticip", "10.0.0.6"));
    EXPECT_EQ(Get("dhcp"), std::nullopt);
    ExpectNothingSent();

    ASSERT_TRUE(Device()->Connect());
    const std::string emptyAddresses = "AT+CIPAP_DEF=\"\",\"\",\"\"\r\n";
    peer.Answer("AT+CWDHCP_DEF=0,0\r\n", kOk);
    peer.Answer(emptyAddresses, kOk);
    EXPECT_TRUE(Set("DHCP", "disable"));
    EXPECT_EQ(Sent(), EnterConfig() + ToModule("AT+CWDHCP_DEF=0,0\r\n") + ToModule(emptyAddresses) +
                          LeaveConfig());
}

// ---- DHCP -------------------------------------------------------------------

TEST_F(WiFiDialogueTest, DhcpEnableIsJudgedByTheModulesOk) {
    const struct {
        std::string reply;
        bool result;
    } cases[] = {{kOk, true}, {"\r\nok\r\n", true}, {kError, false}, {"OK", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        peer.ForgetHeard();
        peer.Answer("AT+CWDHCP_DEF=1,1\r\n", c.reply);
        EXPECT_EQ(Set("DHCP", "enable"), c.result);
        EXPECT_EQ(Sent(), EnterConfig() + ToModule("AT+CWDHCP_DEF=1,1\r\n") + LeaveConfig());
        EXPECT_EQ(Baud(), "9600");
    }
}

TEST_F(WiFiDialogueTest, DialogueStartsAtTheCallersSpeedAndEndsAt9600) {
    ASSERT_TRUE(Device()->Disconnect());
    ASSERT_TRUE(Device()->SetParameter("baud", "19200"));
    ASSERT_TRUE(Device()->Connect());
    peer.Answer("AT+CWDHCP_DEF=1,1\r\n", kOk);
    EXPECT_TRUE(Set("DHCP", "enable"));
    EXPECT_EQ(Sent(), EnterConfig(19200) + ToModule("AT+CWDHCP_DEF=1,1\r\n") + LeaveConfig());
    EXPECT_EQ(Baud(), "9600");
    EXPECT_EQ(peer.SlaveBaud(), 9600);
}

// Fixed addresses count as set only when the module took both the DHCP
// switch and the addresses.
TEST_F(WiFiDialogueTest, DhcpDisableSendsTheFixedAddresses) {
    ASSERT_TRUE(Set("staticip", "192.168.1.50"));
    ASSERT_TRUE(Set("staticgateway", "192.168.1.1"));
    ASSERT_TRUE(Set("staticmask", "255.255.255.0"));
    const std::string addressCommand =
        "AT+CIPAP_DEF=\"192.168.1.50\",\"192.168.1.1\",\"255.255.255.0\"\r\n";
    const struct {
        std::string dhcpReply;
        std::string addressReply;
        bool result;
    } cases[] = {
        {kOk, kOk, true},
        {kError, kOk, false},
        {kOk, kError, false},
        {kError, kError, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dhcpReply + "/" + c.addressReply);
        peer.ForgetHeard();
        peer.Answer("AT+CWDHCP_DEF=0,0\r\n", c.dhcpReply);
        peer.Answer(addressCommand, c.addressReply);
        EXPECT_EQ(Set("DHCP", "disable"), c.result);
        EXPECT_EQ(Sent(), EnterConfig() + ToModule("AT+CWDHCP_DEF=0,0\r\n") +
                              ToModule(addressCommand) + LeaveConfig());
        EXPECT_EQ(Baud(), "9600");
    }
}

TEST_F(WiFiDialogueTest, UnknownValuesOnlyEnterAndLeave) {
    const struct {
        const char* key;
        const char* value;
    } cases[] = {{"DHCP", "on"}, {"DHCP", "Enable"}, {"client", "off"}, {"network", "join"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        peer.ForgetHeard();
        EXPECT_FALSE(Set(c.key, c.value));
        EXPECT_EQ(Sent(), EnterConfig() + LeaveConfig());
        EXPECT_EQ(Baud(), "9600");
    }
}

// ---- Client mode ------------------------------------------------------------

TEST_F(WiFiDialogueTest, ClientEnableSwitchesTheScalesServerOffFirst) {
    ASSERT_TRUE(Set("clientip", "192.168.1.10"));
    ASSERT_TRUE(Set("clientport", "8080"));
    const std::string linkCommand = "AT+SAVETRANSLINK=1,\"192.168.1.10\",8080\r\n";
    peer.Answer("Swifisrv=0\r\n", "Mwifisrv\r\n");
    peer.Answer(linkCommand, kOk);
    EXPECT_TRUE(Set("client", "enable"));
    EXPECT_EQ(Sent(), EnterConfig() + LeaveConfig() + ToScale("Swifisrv=0\r\n") + EnterConfig() +
                          ToModule(linkCommand) + LeaveConfig());
    EXPECT_EQ(Baud(), "9600");
}

TEST_F(WiFiDialogueTest, ClientEnableStopsWhenTheScaleKeepsItsServer) {
    ASSERT_TRUE(Set("clientip", "192.168.1.10"));
    ASSERT_TRUE(Set("clientport", "8080"));
    peer.Answer("Swifisrv=0\r\n", "ES\r\n");
    EXPECT_FALSE(Set("client", "enable"));
    EXPECT_EQ(Sent(), EnterConfig() + LeaveConfig() + ToScale("Swifisrv=0\r\n") + LeaveConfig());
    EXPECT_EQ(Baud(), "9600");
}

TEST_F(WiFiDialogueTest, ClientDisableStartsTheScalesServerAfterTheModulesOk) {
    ASSERT_TRUE(Set("clientport", "80"));
    peer.Answer("Swifisrv=1,80\r\n", "Mwifisrv\r\n");
    const struct {
        std::string moduleReply;
        bool result;
        Exchange afterModule;
    } cases[] = {
        {kOk, true, LeaveConfig() + ToScale("Swifisrv=1,80\r\n") + LeaveConfig()},
        {kError, false, LeaveConfig()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.moduleReply);
        peer.ForgetHeard();
        peer.Answer("AT+SAVETRANSLINK=0\r\n", c.moduleReply);
        EXPECT_EQ(Set("client", "disable"), c.result);
        EXPECT_EQ(Sent(), EnterConfig() + ToModule("AT+SAVETRANSLINK=0\r\n") + c.afterModule);
        EXPECT_EQ(Baud(), "9600");
    }
}

// ---- Joining a network ------------------------------------------------------

// The module reports its progress with pauses; the join waits for 7 s of
// silence after the last line. Quotes, commas and backslashes in the values
// arrive escaped.
TEST_F(WiFiDialogueTest, JoinWithoutAccessPointWaitsSevenSecondsOfSilence) {
    ASSERT_TRUE(Set("ssid", "Cafe \"Net\""));
    ASSERT_TRUE(Set("password", "pa\"ss,wo\\rd"));
    const std::string join = "AT+CWJAP_DEF=\"Cafe \\\"Net\\\"\",\"pa\\\"ss\\,wo\\\\rd\"\r\n";
    peer.Answer(join, {{0ms, "WIFI DISCONNECT\r\n"},
                       {400ms, "WIFI CONNECTED\r\n"},
                       {400ms, "WIFI GOT IP\r\n"},
                       {200ms, kOk}});
    EXPECT_TRUE(Set("network", "connect"));
    EXPECT_EQ(Sent(), EnterConfig() + ToModule(join) + LeaveConfig());
    double waited = SecondsBetween(join, "\x1b");
    EXPECT_GE(waited, 1.0 + 7.0 - 0.05);
    EXPECT_LT(waited, 1.0 + 7.0 + 2.5);
    EXPECT_EQ(Baud(), "9600");
}

// ---- Queries ----------------------------------------------------------------

TEST_F(WiFiDialogueTest, QueriesReturnTheRawReply) {
    const struct {
        const char* key;
        std::string command;
        std::string reply;
        std::string returned;
        bool configMode;
    } cases[] = {
        {"dhcp", "AT+CWDHCP_DEF?\r\n", "+CWDHCP_DEF:3\r\n" + kOk, "+CWDHCP_DEF:3\r\n", true},
        {"network", "AT+CWJAP_DEF?\r\n", "+CWJAP_DEF:\"Net\",\"aa:bb:cc:dd:ee:ff\",6,-58\r\n" + kOk,
         "+CWJAP_DEF:\"Net\",\"aa:bb:cc:dd:ee:ff\",6,-58\r\n" + kOk, true},
        {"dhcpfields", "AT+CIPAP_DEF?\r\n",
         "+CIPAP_DEF:ip:\"192.168.4.1\"\r\n+CIPAP_DEF:gateway:\"192.168.4.1\"\r\n"
         "+CIPAP_DEF:netmask:\"255.255.255.0\"\r\n" +
             kOk,
         "+CIPAP_DEF:ip:\"192.168.4.1\"\r\n+CIPAP_DEF:gateway:\"192.168.4.1\"\r\n"
         "+CIPAP_DEF:netmask:\"255.255.255.0\"\r\n" +
             kOk,
         true},
        {"workmode", "Swifisrv=?\r\n", "Mwifisrv=1,80\r\n", "Mwifisrv=1,80\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        peer.ForgetHeard();
        peer.Answer(c.command, c.reply);
        EXPECT_EQ(Get(c.key), c.returned);
        Exchange expected = c.configMode ? EnterConfig() + ToModule(c.command) + LeaveConfig()
                                         : LeaveConfig() + ToScale(c.command);
        EXPECT_EQ(Sent(), expected);
        EXPECT_EQ(Baud(), "9600");
    }
}

TEST_F(WiFiDialogueTest, QueriesTakeAtMostTheirByteCount) {
    const struct {
        const char* key;
        std::string command;
        size_t count;
    } cases[] = {
        {"dhcp", "AT+CWDHCP_DEF?\r\n", 15},
        {"network", "AT+CWJAP_DEF?\r\n", 128},
        {"dhcpfields", "AT+CIPAP_DEF?\r\n", 512},
        {"workmode", "Swifisrv=?\r\n", 18},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        std::string longReply;
        for (size_t i = 0; longReply.size() < c.count + 40; ++i) {
            longReply += "line " + std::to_string(i) + "\r\n";
        }
        peer.Answer(c.command, longReply);
        EXPECT_EQ(Get(c.key), longReply.substr(0, c.count));
    }
}

// ---- Silent or refusing peers -----------------------------------------------

TEST_F(WiFiDialogueTest, SilentModuleCostsASecondPerHandshake) {
    for (const char* command : {"+++", "AT\r\n", "ATE0\r\n"}) {
        peer.Ignore(command);
    }
    auto started = Clock::now();
    EXPECT_EQ(Get("network"), "");
    double elapsed = SecondsSince(started);
    EXPECT_GE(elapsed, 3.0 + 0.2 - 0.05);
    EXPECT_LT(elapsed, 3.0 + 0.2 + 0.3 + 2.5);
    EXPECT_EQ(Sent(), EnterConfig() + ToModule("AT+CWJAP_DEF?\r\n") + LeaveConfig());
    EXPECT_EQ(Baud(), "9600");
}

// The scale keeps the line: no module handshake, and the query goes to the
// scale at its own speed, which answers nothing to it.
TEST_F(WiFiDialogueTest, RefusingScaleKeepsTheLine) {
    peer.Answer("Swificfg\r\n", "ES\r\n");
    auto started = Clock::now();
    EXPECT_EQ(Get("network"), "");
    double elapsed = SecondsSince(started);
    EXPECT_GE(elapsed, 1.0 + 0.2 - 0.05);
    EXPECT_LT(elapsed, 1.0 + 0.2 + 0.2 + 2.5);
    EXPECT_EQ(Sent(), ToScale("Swificfg\r\n") + ToScale("AT+CWJAP_DEF?\r\n") + LeaveConfig());
    EXPECT_EQ(Baud(), "9600");
}

}  // namespace
