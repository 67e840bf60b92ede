// Where an open stand-in converter's bytes go: a pseudo-terminal slave (the
// line settings then land on it, so the far end can see the line speed), a
// loopback TCP connection, or nothing at all.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "StandinConfig.h"

namespace ftstandin {

struct LineSettings {
    uint32_t baud = 9600;
    int dataBits = 8;
    int stopBits = 1;
    char parity = 'N';  // N, O, E, M, S
};

class Peer {
public:
    // Null when the far end cannot be reached.
    static std::unique_ptr<Peer> Connect(const PeerAddress& address, const LineSettings& line);
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // False when the line cannot take the settings.
    bool Apply(const LineSettings& line);

    // Collects bytes until `size` have come or `timeoutMs` passed; 0 means no
    // time limit, as in D2XX. The count, or -1 when the far end is gone.
    int Read(char* buffer, int size, uint32_t timeoutMs);
    // Sends what the far end takes within `timeoutMs` (0: no limit). The
    // count, or -1 when the far end is gone.
    int Write(const char* data, int size, uint32_t timeoutMs);

private:
    Peer(PeerAddress::Kind kind, int fd) : kind_(kind), fd_(fd) {}
    PeerAddress::Kind kind_;
    int fd_;
};

}  // namespace ftstandin
