#include "wifi/AtText.h"

#include <algorithm>

namespace qel {

std::string QuotedAtValue(std::string_view value) {
    std::string quoted;
    quoted.reserve(value.size() + 2);
    quoted += '"';
    for (char c : value) {
        if (c == '"' || c == ',' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

bool IsSendableAtValue(std::string_view value) {
    return std::none_of(value.begin(), value.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return byte < 32 || byte == 127;
    });
}

bool IsPortNumber(std::string_view value) {
    if (value.empty() || value.size() > 5) {
        return false;
    }
    int port = 0;
    for (char c : value) {
        if (c < '0' || c > '9') {
            return false;
        }
        port = port * 10 + (c - '0');
    }
    return port >= 1 && port <= 65535;
}

}  // namespace qel
