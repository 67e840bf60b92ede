#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "Reply.h"

namespace scalesim {

struct DeliverySettings {
    std::size_t chunk = 0;  // deliver replies in pieces of this many bytes; 0 whole
    std::chrono::microseconds chunkGap{3000};
    bool pace = false;  // deliver bytes at the line rate
};

// Holds replies until they are due and hands them to the carrier: at once in one write,
// in chunks with pauses, or byte by byte at the rate of the line.
class OutputQueue {
public:
    enum class State {
        Idle,     // nothing left
        Waiting,  // more is due later (NextDue)
        Blocked,  // the carrier would block; retry when writable
        HangUp,   // a reply asked to drop the connection after it
        Failed,   // the carrier failed
    };

    // Returns bytes written, 0 when the carrier would block, -1 on failure.
    using Writer = std::function<long(const char* data, std::size_t size)>;

    explicit OutputQueue(const DeliverySettings& settings) : settings_(settings) {}

    // `earliest` is when the request has fully arrived; `byteTime` the time one byte takes
    // on the line (used when pacing).
    void Push(const Replies& replies, Clock::time_point earliest,
              std::chrono::nanoseconds byteTime);

    State Flush(Clock::time_point now, const Writer& write);

    std::optional<Clock::time_point> NextDue() const;
    bool Empty() const { return items_.empty(); }
    void Clear() { items_.clear(); }

private:
    struct Item {
        std::string bytes;
        std::size_t offset = 0;
        Clock::time_point start;
        std::chrono::nanoseconds byteTime{0};
        bool hangUp = false;
        Clock::time_point nextWrite;
    };

    std::size_t BytesDue(const Item& item, Clock::time_point now) const;

    DeliverySettings settings_;
    std::deque<Item> items_;
    Clock::time_point lineFreeAt_{};
};

}  // namespace scalesim
