// Configuration of the WiFi module inside the scale, over the scale's own
// line. The scale hands the line to the module on "Swificfg"; the module then
// speaks AT commands at 115200 baud until ESC gives the line back to the
// scale, which is left at 9600 baud.
//
// Every operation runs on the caller's thread and blocks for the whole
// dialogue; nothing else may use the transport meanwhile.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qel {

class CInterfejs;

class WiFiModule {
public:
    explicit WiFiModule(CInterfejs* transport) : transport_(transport) {}
    WiFiModule(const WiFiModule&) = delete;
    WiFiModule& operator=(const WiFiModule&) = delete;

    // Stores a setting ("ssid", "password", "bssid", "clientip",
    // "clientport", "staticip", "staticgateway", "staticmask") or runs a
    // configuration dialogue ("DHCP", "client", "network").
    bool Configure(const char* key, const char* value);
    // Runs a query dialogue ("networks", "dhcp", "network", "dhcpfields",
    // "workmode") and returns the raw reply; null for an unknown key. The
    // text stays valid until the next Configure or Query.
    const char* Query(const char* key);

private:
    std::string* SettingNamed(const char* key);
    bool StoreSetting(const char* key, std::string& setting, const char* value);

    bool ConfigureDhcp(const std::string& value);
    bool ConfigureClient(const std::string& value);
    bool ConfigureNetwork(const std::string& value);
    bool InConfigMode(const std::function<bool()>& dialogue);
    void QueryInConfigMode(void (WiFiModule::*query)());

    void EnterConfigMode();
    void LeaveConfigMode();
    bool EnableDhcp();
    bool SetStaticAddress(const std::string& ip, const std::string& gateway,
                          const std::string& mask);
    bool SetClientMode(bool on, const std::string& port, const std::string& ip);
    bool SetClientModeOn(const std::string& port, const std::string& ip);
    bool SetClientModeOff(const std::string& port);
    bool JoinNetwork(const std::string& ssid, const std::string& password);
    bool JoinNetwork(const std::string& ssid, const std::string& password,
                     const std::string& bssid);
    void ListNetworks();
    void QueryDhcp();
    void QueryNetwork();
    void QueryAddress();
    void QueryWorkMode();

    bool Expect(const std::string& command, const std::string& expected, uint32_t idleTimeoutMs);
    std::string Collect(const std::string& command, int32_t count, uint32_t idleTimeoutMs);
    void SetLineSpeed(const char* baud);

    CInterfejs* transport_;
    std::string reply_;
    std::string ssid_;
    std::string bssid_;
    std::string password_;
    std::string clientIp_;
    std::string clientPort_;
    std::string staticIp_;
    std::string staticGateway_;
    std::string staticMask_;
};

}  // namespace qel
