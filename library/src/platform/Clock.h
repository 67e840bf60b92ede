// Milliseconds on a clock that never jumps: every timeout and deadline of the
// library is measured on it.
#pragma once

#include <chrono>
#include <cstdint>

namespace qel {

using SteadyClock = std::chrono::steady_clock;

inline int64_t TickMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               SteadyClock::now().time_since_epoch())
        .count();
}

}  // namespace qel
