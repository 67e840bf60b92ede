// A manual-reset event: once set it stays set, waking every waiter, until
// someone resets it. Transports signal "bytes arrived" with it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace qel {

class Event {
public:
    void Set();
    void Reset();
    bool IsSet() const;
    // True when the event is (or becomes) set within `timeout`.
    bool Wait(std::chrono::milliseconds timeout);

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool set_ = false;
};

}  // namespace qel
