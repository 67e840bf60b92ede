#include "WifiModule.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstdio>
#include <fstream>

#include "ScaleSettings.h"

namespace scalesim {

namespace {

constexpr char kEsc = 27;
const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";
constexpr std::size_t kMaxCommand = 1024;

// Splits an AT argument list: quoted values with backslash escapes, or bare values.
bool SplitArguments(const std::string& text, std::vector<std::string>& values) {
    values.clear();
    std::size_t i = 0;
    while (i <= text.size()) {
        std::string value;
        if (i < text.size() && text[i] == '"') {
            ++i;
            while (i < text.size() && text[i] != '"') {
                if (text[i] == '\\' && i + 1 < text.size()) {
                    ++i;
                }
                value += text[i++];
            }
            if (i >= text.size()) {
                return false;  // no closing quote
            }
            ++i;
        } else {
            while (i < text.size() && text[i] != ',') {
                value += text[i++];
            }
        }
        values.push_back(value);
        if (i == text.size()) {
            return true;
        }
        if (text[i] != ',') {
            return false;
        }
        ++i;
    }
    return true;
}

bool IsIpv4(const std::string& text) {
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool ParseInt(const std::string& text, int low, int high, int& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value >= low && value <= high;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

bool TakeCommand(const std::string& command, std::string_view name, std::string& arguments) {
    if (command.compare(0, name.size(), name) != 0) {
        return false;
    }
    arguments = command.substr(name.size());
    return true;
}

}  // namespace

std::vector<AccessPoint> WifiSettings::DefaultNetworks() {
    return {
        {"VESK-Office", "tarvo2019", "a4:2b:b0:11:22:33", -48, 6},
        {"Warehouse", "palette#7", "a4:2b:b0:11:22:34", -67, 11},
        {"Warehouse", "palette#7", "c8:3a:35:0e:9d:10", -81, 1},
        {"Guest", "", "02:1a:11:f0:00:01", -74, 6},
    };
}

WifiModule::WifiModule(const WifiSettings& settings) : settings_(settings), echo_(settings.echo) {}

void WifiModule::Attach() {
    handedBack_ = false;
    pending_.clear();
}

std::size_t WifiModule::Receive(std::string_view bytes, const LineState& line, bool anyBaud,
                                Replies& replies) {
    const bool audible = anyBaud || line.baud == 0 || line.baud == kAlibiBaud;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (!audible) {
            continue;  // the module's UART runs at 115200; other speeds are noise
        }
        const char byte = bytes[i];
        if (byte == kEsc) {
            Log("<ESC>");
            pending_.clear();
            handedBack_ = true;
            return i + 1;
        }
        pending_ += byte;
        if (pending_ == "+++") {
            // Ends the transparent data link; it carries no line ending.
            Log("+++");
            pending_.clear();
            Answer(replies, "CLOSED\r\n");
        } else if (byte == '\n') {
            std::string command = pending_.substr(0, pending_.size() - 1);
            if (!command.empty() && command.back() == '\r') {
                command.pop_back();
            }
            pending_.clear();
            HandleCommand(command, replies);
        } else if (pending_.size() > kMaxCommand) {
            pending_.clear();
        }
    }
    return bytes.size();
}

void WifiModule::Log(const std::string& command) const {
    if (settings_.logPath.empty()) {
        return;
    }
    std::ofstream log(settings_.logPath, std::ios::binary | std::ios::app);
    log << command << '\n';
}

void WifiModule::Answer(Replies& replies, std::string text, std::chrono::milliseconds delay) {
    if (!settings_.silent) {
        replies.push_back({std::move(text), delay});
    }
}

void WifiModule::HandleCommand(const std::string& command, Replies& replies) {
    if (command.empty()) {
        return;
    }
    Log(command);
    if (echo_) {
        Answer(replies, command + "\r\r\n");
    }
    std::string arguments;
    if (command == "AT") {
        Answer(replies, kOk);
    } else if (command == "ATE0" || command == "ATE1") {
        echo_ = command == "ATE1";
        Answer(replies, kOk);
    } else if (TakeCommand(command, "AT+CWDHCP_DEF=", arguments)) {
        SetDhcp(arguments, replies);
    } else if (command == "AT+CWDHCP_DEF?") {
        Answer(replies, "+CWDHCP_DEF:" + std::to_string(dhcpBits_) + "\r\n" + kOk);
    } else if (TakeCommand(command, "AT+CIPAP_DEF=", arguments)) {
        SetAddress(arguments, replies);
    } else if (command == "AT+CIPAP_DEF?") {
        ReportAddress(replies);
    } else if (TakeCommand(command, "AT+CWMODE_DEF=", arguments)) {
        SetMode(arguments, replies);
    } else if (command == "AT+CWMODE_DEF?") {
        Answer(replies, "+CWMODE_DEF:" + std::to_string(mode_) + "\r\n" + kOk);
    } else if (command == "AT+CWLAP") {
        ListNetworks(replies);
    } else if (TakeCommand(command, "AT+CWJAP_DEF=", arguments)) {
        Join(arguments, replies);
    } else if (command == "AT+CWJAP_DEF?") {
        ReportNetwork(replies);
    } else if (TakeCommand(command, "AT+SAVETRANSLINK=", arguments)) {
        SaveTransparentLink(arguments, replies);
    } else {
        Answer(replies, kError);
    }
}

// AT+CWDHCP_DEF=<mode>,<enable>: mode 0 access point, 1 station, 2 both.
void WifiModule::SetDhcp(const std::string& arguments, Replies& replies) {
    std::vector<std::string> values;
    int mode = 0;
    int enable = 0;
    if (!SplitArguments(arguments, values) || values.size() != 2 ||
        !ParseInt(values[0], 0, 2, mode) || !ParseInt(values[1], 0, 1, enable)) {
        Answer(replies, kError);
        return;
    }
    const int bits = mode == 0 ? 1 : mode == 1 ? 2 : 3;
    dhcpBits_ = enable ? (dhcpBits_ | bits) : (dhcpBits_ & ~bits);
    Answer(replies, kOk);
}

void WifiModule::SetAddress(const std::string& arguments, Replies& replies) {
    std::vector<std::string> values;
    if (!SplitArguments(arguments, values) || values.empty() || values.size() > 3) {
        Answer(replies, kError);
        return;
    }
    for (const std::string& value : values) {
        if (!IsIpv4(value)) {
            Answer(replies, kError);
            return;
        }
    }
    apIp_ = values[0];
    apGateway_ = values.size() > 1 ? values[1] : apGateway_;
    apMask_ = values.size() > 2 ? values[2] : apMask_;
    Answer(replies, kOk);
}

void WifiModule::SetMode(const std::string& arguments, Replies& replies) {
    int mode = 0;
    if (!ParseInt(arguments, 1, 3, mode)) {
        Answer(replies, kError);
        return;
    }
    mode_ = mode;
    Answer(replies, kOk);
}

// A scan takes the module a moment; each access point is one line.
void WifiModule::ListNetworks(Replies& replies) {
    if (mode_ == 2) {
        Answer(replies, kError);  // a bare access point cannot scan
        return;
    }
    std::string list;
    for (const AccessPoint& network : settings_.networks) {
        char line[160];
        std::snprintf(line, sizeof line, "+CWLAP:(%d,\"%s\",%d,\"%s\",%d)\r\n",
                      network.password.empty() ? 0 : 3, network.ssid.c_str(), network.rssi,
                      network.bssid.c_str(), network.channel);
        list += line;
    }
    Answer(replies, list, std::chrono::milliseconds(150));
    Answer(replies, kOk);
}

void WifiModule::Join(const std::string& arguments, Replies& replies) {
    std::vector<std::string> values;
    if (!SplitArguments(arguments, values) || values.size() < 2 || values.size() > 3) {
        Answer(replies, kError);
        return;
    }
    int found = -1;
    int matched = -1;
    for (std::size_t i = 0; i < settings_.networks.size(); ++i) {
        const AccessPoint& network = settings_.networks[i];
        if (network.ssid != values[0] ||
            (values.size() == 3 && !EqualsIgnoringCase(network.bssid, values[2]))) {
            continue;
        }
        found = static_cast<int>(i);
        if (network.password == values[1]) {
            matched = static_cast<int>(i);
            break;
        }
    }
    if (joined_ >= 0) {
        Answer(replies, "WIFI DISCONNECT\r\n");
        joined_ = -1;
    }
    if (matched < 0) {
        // 2: wrong password, 3: no such access point.
        Answer(replies, "+CWJAP:" + std::string(found < 0 ? "3" : "2") + "\r\n\r\nFAIL\r\n",
               std::chrono::milliseconds(300));
        return;
    }
    joined_ = matched;
    Answer(replies, "WIFI CONNECTED\r\n", std::chrono::milliseconds(150));
    Answer(replies, "WIFI GOT IP\r\n", std::chrono::milliseconds(100));
    if (!settings_.joinWithoutOk) {
        Answer(replies, kOk);
    }
}

void WifiModule::ReportNetwork(Replies& replies) {
    if (joined_ < 0) {
        Answer(replies, "No AP\r\n" + kOk);
        return;
    }
    const AccessPoint& network = settings_.networks[static_cast<std::size_t>(joined_)];
    char line[160];
    std::snprintf(line, sizeof line, "+CWJAP_DEF:\"%s\",\"%s\",%d,%d\r\n", network.ssid.c_str(),
                  network.bssid.c_str(), network.channel, network.rssi);
    Answer(replies, line + kOk);
}

void WifiModule::ReportAddress(Replies& replies) {
    Answer(replies, "+CIPAP_DEF:ip:\"" + apIp_ + "\"\r\n+CIPAP_DEF:gateway:\"" + apGateway_ +
                        "\"\r\n+CIPAP_DEF:netmask:\"" + apMask_ + "\"\r\n" + kOk);
}

// AT+SAVETRANSLINK=1,"<ip>",<port>[,"TCP"] stores a link opened at power-up; =0 clears it.
void WifiModule::SaveTransparentLink(const std::string& arguments, Replies& replies) {
    std::vector<std::string> values;
    int port = 0;
    if (!SplitArguments(arguments, values) || values.empty()) {
        Answer(replies, kError);
    } else if (values[0] == "0" && values.size() == 1) {
        linkSaved_ = false;
        Answer(replies, kOk);
    } else if (values[0] == "1" && values.size() >= 3 && values.size() <= 4 && !values[1].empty() &&
               ParseInt(values[2], 1, 65535, port)) {
        linkSaved_ = true;
        linkIp_ = values[1];
        linkPort_ = port;
        Answer(replies, kOk);
    } else {
        Answer(replies, kError);
    }
}

}  // namespace scalesim
