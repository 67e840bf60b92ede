#include "transport/ReceiveBuffer.h"

namespace qel {

void ReceiveBuffer::Append(const char* bytes, size_t size) {
    {
        std::lock_guard lock(mutex_);
        for (size_t i = 0; i < size; ++i) {
            if (bytes[i] != '\0') {
                buffer_.push_back(bytes[i]);
            }
        }
        if (buffer_.size() - head_ > maxBuffered_) {
            // The oldest bytes go; they are cut away with the next compaction.
            head_ = buffer_.size() - maxBuffered_;
        }
        CompactLocked();
    }
    arrived_.Set();
}

std::string ReceiveBuffer::Take(size_t count, std::chrono::milliseconds wait) {
    if (!HasData()) {
        // Reset before looking again, so that a chunk landing in between
        // still ends the wait.
        arrived_.Reset();
        if (!HasData() && !woken_) {
            arrived_.Wait(wait);
        }
    }
    std::lock_guard lock(mutex_);
    return TakeLocked(count);
}

bool ReceiveBuffer::HasData() const {
    std::lock_guard lock(mutex_);
    return head_ < buffer_.size();
}

void ReceiveBuffer::Clear() {
    std::lock_guard lock(mutex_);
    buffer_.clear();
    head_ = 0;
}

void ReceiveBuffer::Wake() {
    woken_ = true;
    arrived_.Set();
}

std::string ReceiveBuffer::TakeLocked(size_t count) {
    std::string taken = buffer_.substr(head_, count);
    head_ += taken.size();
    if (head_ == buffer_.size()) {
        buffer_.clear();
        head_ = 0;
    } else {
        CompactLocked();
    }
    return taken;
}

void ReceiveBuffer::CompactLocked() {
    if (head_ > kCompactAt && head_ > buffer_.size() / 2) {
        buffer_.erase(0, head_);
        head_ = 0;
    }
}

}  // namespace qel
