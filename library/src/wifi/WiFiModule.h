// Configuration of the WiFi module inside the scale, over the scale's line.
#pragma once

#include <string>

namespace qel {

class CInterfejs;

class WiFiModule {
public:
    explicit WiFiModule(CInterfejs* transport) : transport_(transport) {}
    bool Configure(const char* key, const char* value);
    const char* Query(const char* key);

private:
    CInterfejs* transport_;
    std::string reply_;
};

}  // namespace qel
