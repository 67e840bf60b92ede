#include "OutputQueue.h"

#include <algorithm>

namespace scalesim {

namespace {

// Waking for every byte at 115200 baud would cost more than it shows; a few bytes per
// wake-up keep the timing within a fraction of a millisecond.
constexpr auto kMinPacingWake = std::chrono::microseconds(250);

}  // namespace

void OutputQueue::Push(const Replies& replies, Clock::time_point earliest,
                       std::chrono::nanoseconds byteTime) {
    for (const Reply& reply : replies) {
        Item item;
        item.bytes = reply.bytes;
        item.hangUp = reply.hangUp;
        item.byteTime = settings_.pace ? byteTime : std::chrono::nanoseconds(0);
        item.start = std::max(earliest, lineFreeAt_) + reply.delay;
        item.nextWrite = item.start;
        lineFreeAt_ = item.start + item.byteTime * static_cast<Clock::rep>(item.bytes.size());
        items_.push_back(std::move(item));
    }
}

std::size_t OutputQueue::BytesDue(const Item& item, Clock::time_point now) const {
    const std::size_t remaining = item.bytes.size() - item.offset;
    std::size_t due = remaining;
    if (item.byteTime.count() > 0) {
        // A byte is delivered once its last bit would have crossed the line.
        const auto elapsed = now - item.start;
        const auto sent = static_cast<std::size_t>(elapsed / item.byteTime);
        due = std::min(remaining, sent > item.offset ? sent - item.offset : 0);
    }
    if (settings_.chunk > 0) {
        due = std::min(due, settings_.chunk);
    }
    return due;
}

OutputQueue::State OutputQueue::Flush(Clock::time_point now, const Writer& write) {
    while (!items_.empty()) {
        Item& item = items_.front();
        if (now < item.nextWrite) {
            return State::Waiting;
        }
        const std::size_t due = BytesDue(item, now);
        if (due > 0) {
            const long written = write(item.bytes.data() + item.offset, due);
            if (written < 0) {
                return State::Failed;
            }
            item.offset += static_cast<std::size_t>(written);
            if (static_cast<std::size_t>(written) < due) {
                return State::Blocked;
            }
        }
        if (item.offset < item.bytes.size()) {
            if (item.byteTime.count() > 0) {
                // The last byte ends the reply, so its moment is kept exactly.
                const auto byteDone = [&item](std::size_t count) {
                    return item.start + item.byteTime * static_cast<Clock::rep>(count);
                };
                item.nextWrite = std::min(std::max(byteDone(item.offset + 1), now + kMinPacingWake),
                                          byteDone(item.bytes.size()));
            } else {
                item.nextWrite = now + settings_.chunkGap;
            }
            return State::Waiting;
        }
        const bool hangUp = item.hangUp;
        items_.pop_front();
        if (hangUp) {
            items_.clear();
            return State::HangUp;
        }
        if (settings_.chunk > 0 && !items_.empty() && items_.front().byteTime.count() == 0) {
            // Pieces of consecutive replies are kept apart as well.
            items_.front().nextWrite = std::max(items_.front().nextWrite, now + settings_.chunkGap);
        }
    }
    return State::Idle;
}

std::optional<Clock::time_point> OutputQueue::NextDue() const {
    if (items_.empty()) {
        return std::nullopt;
    }
    return items_.front().nextWrite;
}

}  // namespace scalesim
