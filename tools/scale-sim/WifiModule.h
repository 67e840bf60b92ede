#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Reply.h"

namespace scalesim {

struct AccessPoint {
    std::string ssid;
    std::string password;  // empty: an open network
    std::string bssid;
    int rssi = -60;
    int channel = 1;
};

struct WifiSettings {
    std::vector<AccessPoint> networks;
    bool silent = false;         // the module hears but never answers
    bool echo = false;           // echo commands back, as the module does before "ATE0"
    bool joinWithoutOk = false;  // a join reports "WIFI CONNECTED" but never "OK"
    std::string logPath;         // every command the module receives is appended here

    static std::vector<AccessPoint> DefaultNetworks();
};

// The WiFi module behind the scale: an AT command interpreter at 115200 baud that owns the
// line from "Swificfg" until it receives ESC.
class WifiModule {
public:
    explicit WifiModule(const WifiSettings& settings);

    // The scale has connected the line to the module.
    void Attach();

    // Consumes bytes up to and including an ESC (then HandedBack() is true) or all of them.
    std::size_t Receive(std::string_view bytes, const LineState& line, bool anyBaud,
                        Replies& replies);
    bool HandedBack() const { return handedBack_; }

private:
    void HandleCommand(const std::string& command, Replies& replies);
    void Answer(Replies& replies, std::string text,
                std::chrono::milliseconds delay = std::chrono::milliseconds(0));
    void Log(const std::string& command) const;

    void SetDhcp(const std::string& arguments, Replies& replies);
    void SetAddress(const std::string& arguments, Replies& replies);
    void SetMode(const std::string& arguments, Replies& replies);
    void Join(const std::string& arguments, Replies& replies);
    void ListNetworks(Replies& replies);
    void SaveTransparentLink(const std::string& arguments, Replies& replies);
    void ReportNetwork(Replies& replies);
    void ReportAddress(Replies& replies);

    WifiSettings settings_;
    std::string pending_;
    bool handedBack_ = true;
    bool echo_;

    int dhcpBits_ = 3;  // bit 0: soft access point, bit 1: station
    int mode_ = 1;
    std::string apIp_ = "192.168.4.1";
    std::string apGateway_ = "192.168.4.1";
    std::string apMask_ = "255.255.255.0";
    int joined_ = -1;  // index of the joined network
    bool linkSaved_ = false;
    std::string linkIp_;
    int linkPort_ = 0;
};

}  // namespace scalesim
