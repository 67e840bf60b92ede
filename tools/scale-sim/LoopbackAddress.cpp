#include "LoopbackAddress.h"

#include <arpa/inet.h>

#include <charconv>

namespace scalesim {

sockaddr_in LoopbackAddress::ToSockaddr() const {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    return address;
}

bool ParseLoopbackAddress(const std::string& text, LoopbackAddress& address, std::string& error) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        error = "expected ADDR:PORT, got \"" + text + "\"";
        return false;
    }
    std::string host = text.substr(0, colon);
    if (host == "localhost") {
        host = "127.0.0.1";
    }
    in_addr parsed{};
    if (inet_pton(AF_INET, host.c_str(), &parsed) != 1) {
        error = "not an IPv4 address: \"" + host + "\"";
        return false;
    }
    if ((ntohl(parsed.s_addr) >> 24) != 127) {
        error = "refusing " + host + ": only loopback addresses (127.0.0.0/8) are served";
        return false;
    }
    const std::string portText = text.substr(colon + 1);
    int port = -1;
    auto [ptr, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (ec != std::errc() || ptr != portText.data() + portText.size() || port < 0 || port > 65535) {
        error = "not a port number: \"" + portText + "\"";
        return false;
    }
    address.host = host;
    address.port = port;
    return true;
}

}  // namespace scalesim
