// The serial receiving thread ("ComListener"): polls the line in passes of at
// most 10 ms and gathers every byte into a locked receive buffer, signalling
// each arrival.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Event.h"

namespace qel {

class SerialDevice;

class TWatekOdbierania {
public:
    explicit TWatekOdbierania(SerialDevice& device);
    ~TWatekOdbierania();  // stops and joins

    // Takes up to `count` bytes from the front of the buffer.
    std::string Take(size_t count);
    bool HasData() const;
    void Clear();
    Event& DataArrived() { return dataArrived_; }

private:
    void Run();
    void Append(const char* bytes, size_t size);

    // A peer that floods a line nobody reads must not eat the memory.
    static constexpr size_t kMaxBuffered = 4 * 1024 * 1024;
    static constexpr size_t kCompactAt = 64 * 1024;

    SerialDevice& device_;
    mutable std::mutex bufferMutex_;
    // Bytes before head_ are taken already. Taking moves head_ only, and the
    // front is cut away now and then: a reader far behind a flooding peer
    // does not move the whole buffer for every few bytes it takes.
    std::string buffer_;
    size_t head_ = 0;
    Event dataArrived_;
    std::atomic<bool> stopRequested_{false};
    std::thread thread_;
};

}  // namespace qel
