#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace scalesim {

using Clock = std::chrono::steady_clock;

// What the carrier knows about the line the bytes came over.
struct LineState {
    int baud = 0;     // 0: no line speed (a network carrier without the Ethernet module)
    char parity = 0;  // 0: the carrier cannot tell the parity (a pseudo-terminal)
};

// Bytes the device sends, optionally after a pause following the previous reply.
struct Reply {
    std::string bytes;
    std::chrono::milliseconds delay{0};
    bool hangUp = false;  // the carrier drops the connection after these bytes
};

using Replies = std::vector<Reply>;

}  // namespace scalesim
