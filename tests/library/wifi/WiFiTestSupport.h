// Shared pieces of the WiFi tests: the scale object through the public
// interface, and the exchanges the library is expected to send.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "QELScale.h"

namespace wifitest {

using Clock = std::chrono::steady_clock;

struct ScaleDeleter {
    void operator()(CVESKScaleInterface* scale) const {
        static_cast<CVESKDeviceInterface*>(scale)->Release();
    }
};
using ScalePtr = std::unique_ptr<CVESKScaleInterface, ScaleDeleter>;

// Commands with the line speed each went out at.
using Exchange = std::vector<std::pair<std::string, int>>;

inline Exchange operator+(Exchange first, const Exchange& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

inline Exchange ToScale(const std::string& command, int baud = 9600) {
    return {{command, baud}};
}

inline Exchange ToModule(const std::string& command) {
    return {{command, 115200}};
}

inline Exchange EnterConfig(int baud = 9600) {
    return ToScale("Swificfg\r\n", baud) + ToModule("+++") + ToModule("AT\r\n") +
           ToModule("ATE0\r\n");
}

inline Exchange LeaveConfig() {
    return ToModule("\x1b") + ToScale("SJ\r\n");
}

// A returned text, or nothing for a null pointer.
inline std::optional<std::string> Text(const char* text) {
    if (text == nullptr) {
        return std::nullopt;
    }
    return std::string(text);
}

inline double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace wifitest
