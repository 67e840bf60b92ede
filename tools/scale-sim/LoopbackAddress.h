#pragma once

#include <netinet/in.h>

#include <string>

namespace scalesim {

// An IPv4 address of 127.0.0.0/8 with a port: the simulator never listens elsewhere.
struct LoopbackAddress {
    std::string host;
    int port = 0;

    sockaddr_in ToSockaddr() const;
    std::string ToString() const { return host + ":" + std::to_string(port); }
};

// Parses "ADDR:PORT"; refuses anything outside the loopback network.
bool ParseLoopbackAddress(const std::string& text, LoopbackAddress& address, std::string& error);

}  // namespace scalesim
