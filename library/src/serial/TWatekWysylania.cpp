#include "serial/TWatekWysylania.h"

#include <chrono>

#include "platform/SerialDevice.h"
#include "platform/ThreadName.h"

namespace qel {
namespace {

// A line that accepts nothing for this long is stuck (flow control, a
// converter gone); the text is dropped rather than blocking the port.
constexpr int kStallTimeoutMs = 1000;
// Closing waits this long for texts already handed to Write.
constexpr auto kDrainOnClose = std::chrono::milliseconds(1000);

}  // namespace

TWatekWysylania::TWatekWysylania(SerialDevice& device)
    : device_(device), thread_([this] { Run(); }) {}

TWatekWysylania::~TWatekWysylania() {
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, kDrainOnClose, [this] { return queue_.empty() && !sending_; });
        stopRequested_ = true;
        queue_.clear();
    }
    changed_.notify_all();
    thread_.join();
}

void TWatekWysylania::Enqueue(std::string text) {
    {
        std::lock_guard lock(mutex_);
        if (queue_.empty() && !sending_) {
            // A short command usually fits the driver's buffer at once: send
            // it on the caller's thread and spare the hand-over, which would
            // otherwise add to every request of a long read.
            long sent = device_.WriteNow(text);
            if (sent == static_cast<long>(text.size())) {
                return;
            }
            text.erase(0, sent > 0 ? static_cast<size_t>(sent) : 0);
        }
        queue_.push_back(std::move(text));
    }
    changed_.notify_all();
}

void TWatekWysylania::Run() {
    NameCurrentThread("ComSender");
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return stopRequested_ || !queue_.empty(); });
        if (stopRequested_) {
            return;
        }
        std::string text = std::move(queue_.front());
        queue_.pop_front();
        sending_ = true;
        lock.unlock();
        device_.WriteAll(text, kStallTimeoutMs);
        lock.lock();
        sending_ = false;
        changed_.notify_all();
    }
}

}  // namespace qel
