// What a receiving thread has read and nobody has taken yet. The thread
// appends, the caller's thread takes; zero bytes are line noise to the text
// protocol and never get in, and a peer that floods a line nobody reads
// cannot eat the memory: beyond the cap the oldest bytes go.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

#include "platform/Event.h"

namespace qel {

class ReceiveBuffer {
public:
    explicit ReceiveBuffer(size_t maxBuffered) : maxBuffered_(maxBuffered) {}

    // Keeps every byte but the zero ones, and signals the arrival.
    void Append(const char* bytes, size_t size);
    // Takes up to `count` bytes from the front. When nothing is buffered,
    // waits up to `wait` for an arrival first (not once Wake has been called).
    std::string Take(size_t count, std::chrono::milliseconds wait);
    bool HasData() const;
    // Drops what is unread.
    void Clear();
    // The line is going: a take waiting now returns, and later ones do not
    // wait.
    void Wake();

private:
    std::string TakeLocked(size_t count);
    void CompactLocked();

    // Bytes before head_ are taken already. Taking moves head_ only, and the
    // front is cut away now and then: a reader far behind a flooding peer
    // does not move the whole buffer for every few bytes it takes.
    static constexpr size_t kCompactAt = 64 * 1024;

    const size_t maxBuffered_;
    mutable std::mutex mutex_;
    std::string buffer_;
    size_t head_ = 0;
    Event arrived_;
    std::atomic<bool> woken_{false};
};

}  // namespace qel
