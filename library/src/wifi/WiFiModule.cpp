#include "wifi/WiFiModule.h"

#include <cstring>
#include <functional>
#include <utility>

#include "text/TextUtil.h"
#include "transport/CInterfejs.h"
#include "wifi/AtText.h"

namespace qel {
namespace {

// The largest count a collect can ask for: take everything until silence.
constexpr int32_t kUntilSilence = 2147483647;
constexpr uint32_t kHandshakeMs = 1000;
constexpr char kEscape[] = "\x1b";

bool Is(const char* text, const char* name) {
    return std::strcmp(text, name) == 0;
}

bool SaysOk(const std::string& reply) {
    return ContainsNoCase(reply, "OK");
}

}  // namespace

// ---- Caller's operations ----------------------------------------------------

bool WiFiModule::Configure(const char* key, const char* value) {
    if (key == nullptr || value == nullptr) {
        return false;
    }
    if (std::string* setting = SettingNamed(key)) {
        return StoreSetting(key, *setting, value);
    }
    if (Is(key, "DHCP")) {
        return ConfigureDhcp(value);
    }
    if (Is(key, "client")) {
        return ConfigureClient(value);
    }
    if (Is(key, "network")) {
        return ConfigureNetwork(value);
    }
    return false;
}

const char* WiFiModule::Query(const char* key) {
    if (key == nullptr) {
        return nullptr;
    }
    if (Is(key, "networks")) {
        QueryInConfigMode(&WiFiModule::ListNetworks);
    } else if (Is(key, "dhcp")) {
        QueryInConfigMode(&WiFiModule::QueryDhcp);
    } else if (Is(key, "network")) {
        QueryInConfigMode(&WiFiModule::QueryNetwork);
    } else if (Is(key, "dhcpfields")) {
        QueryInConfigMode(&WiFiModule::QueryAddress);
    } else if (Is(key, "workmode")) {
        // The scale answers this one itself; the module may still hold the
        // line from an interrupted dialogue, so it is asked to let go first.
        LeaveConfigMode();
        QueryWorkMode();
    } else {
        return nullptr;
    }
    return reply_.c_str();
}

// ---- Settings ---------------------------------------------------------------

std::string* WiFiModule::SettingNamed(const char* key) {
    const std::pair<const char*, std::string*> settings[] = {
        {"ssid", &ssid_},
        {"bssid", &bssid_},
        {"password", &password_},
        {"clientip", &clientIp_},
        {"clientport", &clientPort_},
        {"staticip", &staticIp_},
        {"staticgateway", &staticGateway_},
        {"staticmask", &staticMask_},
    };
    for (const auto& [name, setting] : settings) {
        if (Is(key, name)) {
            return setting;
        }
    }
    return nullptr;
}

// A value that could not travel inside a command is refused when it is
// stored, so that a later dialogue never sends a command split in two. The
// port goes unquoted into both a module and a scale command, so only a port
// number (or nothing, as at the start) is taken.
bool WiFiModule::StoreSetting(const char* key, std::string& setting, const char* value) {
    if (!IsSendableAtValue(value)) {
        return false;
    }
    if (Is(key, "clientport") && value[0] != '\0' && !IsPortNumber(value)) {
        return false;
    }
    setting = value;
    return true;
}

// ---- Configuration dialogues ------------------------------------------------

// The module owns the line only inside config mode; every dialogue gives it
// back to the scale before returning, whatever its outcome.
bool WiFiModule::InConfigMode(const std::function<bool()>& dialogue) {
    EnterConfigMode();
    bool result = dialogue();
    LeaveConfigMode();
    return result;
}

void WiFiModule::QueryInConfigMode(void (WiFiModule::*query)()) {
    EnterConfigMode();
    (this->*query)();
    LeaveConfigMode();
}

bool WiFiModule::ConfigureDhcp(const std::string& value) {
    return InConfigMode([&] {
        if (value == "enable") {
            return EnableDhcp();
        }
        if (value == "disable") {
            return SetStaticAddress(staticIp_, staticGateway_, staticMask_);
        }
        return false;
    });
}

bool WiFiModule::ConfigureClient(const std::string& value) {
    return InConfigMode([&] {
        if (value == "enable") {
            return SetClientMode(true, clientPort_, clientIp_);
        }
        if (value == "disable") {
            return SetClientMode(false, clientPort_, clientIp_);
        }
        return false;
    });
}

bool WiFiModule::ConfigureNetwork(const std::string& value) {
    return InConfigMode([&] {
        if (value != "connect") {
            return false;
        }
        if (bssid_.empty()) {
            return JoinNetwork(ssid_, password_);
        }
        return JoinNetwork(ssid_, password_, bssid_);
    });
}

// ---- Dialogues --------------------------------------------------------------

// A scale that does not acknowledge "Swificfg" is not given up on here: the
// dialogue that follows is sent anyway, and the replies to it decide.
void WiFiModule::EnterConfigMode() {
    if (!Expect("Swificfg\r\n", "Mwificfg\r\n", kHandshakeMs)) {
        return;
    }
    SetLineSpeed("115200");
    // Ends the module's transparent link, then checks it listens and turns
    // its echo off; a module already in command mode simply stays there.
    Expect("+++", "CLOSED\r\n", kHandshakeMs);
    Expect("AT\r\n", "\r\nOK\r\n", kHandshakeMs);
    Expect("ATE0\r\n", "\r\nOK\r\n", kHandshakeMs);
}

void WiFiModule::LeaveConfigMode() {
    SetLineSpeed("115200");
    Expect(kEscape, "", kHandshakeMs);
    SetLineSpeed("9600");
    Expect("SJ\r\n", "MJ\r\n", kHandshakeMs);
}

bool WiFiModule::EnableDhcp() {
    reply_ = Collect("AT+CWDHCP_DEF=1,1\r\n", 6, 2000);
    return SaysOk(reply_);
}

// Fixed addresses are in use only when the module took both commands: an
// address it refused leaves it without one, whatever it said to the DHCP
// switch. The reply text still holds both replies, in order.
bool WiFiModule::SetStaticAddress(const std::string& ip, const std::string& gateway,
                                  const std::string& mask) {
    std::string dhcpReply = Collect("AT+CWDHCP_DEF=0,0\r\n", 6, 2000);
    std::string addressReply =
        Collect("AT+CIPAP_DEF=" + QuotedAtValue(ip) + "," + QuotedAtValue(gateway) + "," +
                    QuotedAtValue(mask) + "\r\n",
                6, 2000);
    reply_ = dhcpReply + addressReply;
    return SaysOk(dhcpReply) && SaysOk(addressReply);
}

bool WiFiModule::SetClientMode(bool on, const std::string& port, const std::string& ip) {
    return on ? SetClientModeOn(port, ip) : SetClientModeOff(port);
}

// The scale's own server must be off before the module keeps a link of its
// own, and only the scale can switch it: the line goes back to the scale for
// that one command.
bool WiFiModule::SetClientModeOn(const std::string& port, const std::string& ip) {
    LeaveConfigMode();
    if (!Expect("Swifisrv=0\r\n", "Mwifisrv\r\n", kHandshakeMs)) {
        return false;
    }
    EnterConfigMode();
    std::string reply =
        Collect("AT+SAVETRANSLINK=1," + QuotedAtValue(ip) + "," + port + "\r\n", 1000, 1500);
    return SaysOk(reply);
}

bool WiFiModule::SetClientModeOff(const std::string& port) {
    if (!SaysOk(Collect("AT+SAVETRANSLINK=0\r\n", 1000, 1500))) {
        return false;
    }
    LeaveConfigMode();
    return Expect("Swifisrv=1," + port + "\r\n", "Mwifisrv\r\n", kHandshakeMs);
}

// Joining takes the module several seconds of scanning and authenticating,
// with pauses between its progress lines; only a long silence ends it.
bool WiFiModule::JoinNetwork(const std::string& ssid, const std::string& password) {
    std::string reply =
        Collect("AT+CWJAP_DEF=" + QuotedAtValue(ssid) + "," + QuotedAtValue(password) + "\r\n",
                kUntilSilence, 7000);
    return SaysOk(reply);
}

// With an access point named the module reports the connection without
// always confirming the command, so its connection report counts as well.
bool WiFiModule::JoinNetwork(const std::string& ssid, const std::string& password,
                             const std::string& bssid) {
    std::string reply = Collect("AT+CWJAP_DEF=" + QuotedAtValue(ssid) + "," +
                                    QuotedAtValue(password) + "," + QuotedAtValue(bssid) + "\r\n",
                                kUntilSilence, 5000);
    return SaysOk(reply) || ContainsNoCase(reply, "WIFI CONNECTED");
}

// The module scans only in a mode with its station side on.
void WiFiModule::ListNetworks() {
    reply_ = Collect("AT+CWMODE_DEF=3\r\n", 6, 2000);
    reply_ += Collect("AT+CWLAP\r\n", kUntilSilence, 5000);
}

void WiFiModule::QueryDhcp() {
    reply_ = Collect("AT+CWDHCP_DEF?\r\n", 15, 2000);
}

void WiFiModule::QueryNetwork() {
    reply_ = Collect("AT+CWJAP_DEF?\r\n", 128, 200);
}

void WiFiModule::QueryAddress() {
    reply_ = Collect("AT+CIPAP_DEF?\r\n", 512, 1000);
}

void WiFiModule::QueryWorkMode() {
    reply_ = Collect("Swifisrv=?\r\n", 18, 500);
}

// ---- Transport steps --------------------------------------------------------

bool WiFiModule::Expect(const std::string& command, const std::string& expected,
                        uint32_t idleTimeoutMs) {
    return transport_->WriteExpect(command, expected, idleTimeoutMs);
}

std::string WiFiModule::Collect(const std::string& command, int32_t count, uint32_t idleTimeoutMs) {
    std::string text = command;
    transport_->WriteRead(text, count, idleTimeoutMs);
    return text;
}

void WiFiModule::SetLineSpeed(const char* baud) {
    transport_->SetParam("baud", baud);
}

}  // namespace qel
