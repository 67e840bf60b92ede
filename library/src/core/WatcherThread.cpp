#include "core/WatcherThread.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "core/CVESKDevice.h"
#include "platform/Clock.h"
#include "platform/ThreadName.h"
#include "transport/CInterfejs.h"

namespace qel {
namespace {

// The threads of listeners that released their device: nobody is left to
// join them, so they are kept here and joined later, by the next one handed
// over or when the library goes (at exit, or when a caller unloads it), so
// that none of them still runs library code then.
class ReleasedListeners {
public:
    static ReleasedListeners& Instance() {
        static ReleasedListeners listeners;
        return listeners;
    }
    ~ReleasedListeners() { JoinAll(); }

    void Adopt(std::thread thread) {
        JoinAll();  // those handed over before have ended, or nearly
        std::lock_guard lock(mutex_);
        threads_.push_back(std::move(thread));
    }

private:
    void JoinAll() {
        std::vector<std::thread> threads;
        {
            std::lock_guard lock(mutex_);
            threads.swap(threads_);
        }
        for (std::thread& thread : threads) {
            if (thread.joinable()) {
                thread.join();
            }
        }
    }

    std::mutex mutex_;
    std::vector<std::thread> threads_;
};

}  // namespace

WatcherThread::WatcherThread(CInterfejs* transport, CVESKDevice* device, int32_t phase,
                             bool resumeAfter, int32_t resumePhase)
    : transport_(transport),
      device_(device),
      phase_(phase),
      resumeAfter_(resumeAfter),
      resumePhase_(resumePhase) {}

WatcherThread::~WatcherThread() {
    Terminate();
    WaitFor();
}

int32_t WatcherThread::BudgetOf(int32_t timeoutMs) {
    // Silence is counted in whole cycles, so the budget is rounded up to one;
    // a budget beyond the largest whole cycle an int32 holds is that one.
    const int64_t rounded = (static_cast<int64_t>(timeoutMs) + 99) / 100 * 100;
    return static_cast<int32_t>(std::min<int64_t>(rounded, kMaxBudgetMs));
}

void WatcherThread::Start(int32_t timeoutMs) {
    timeoutMs_ = timeoutMs;
    std::lock_guard lock(startMutex_);
    thread_ = std::thread([this] { Run(); });
}

void WatcherThread::Terminate() {
    terminated_ = true;
    wake_.Set();
}

void WatcherThread::WaitFor() {
    if (thread_.joinable() && !IsListenerThread()) {
        thread_.join();
    }
}

void WatcherThread::Run() {
    { std::lock_guard lock(startMutex_); }
    listenerId_ = std::this_thread::get_id();
    NameCurrentThread("Listener");
    bool endedByItself = true;
    try {
        endedByItself = Listen(BudgetOf(timeoutMs_));
        if (endedByItself && resumeAfter_ && !terminated_) {
            // The dialogue interrupted an unlimited listener: carry on in its
            // phase, without a limit, until terminated.
            phase_ = resumePhase_;
            timeoutMs_ = 0;
            resumeAfter_ = false;
            resumePhase_ = 0;
            endedByItself = Listen(0);
        }
    } catch (...) {
        // A conversion error in a handler (a malformed count or record
        // number) ends the dialogue; the caller notices by the missing status.
    }
    endedByItself_ = endedByItself;
    finished_ = true;
    if (releaseDevice_) {
        // Released inside a callback: the device takes this object with it,
        // so this thread's handle goes where it is joined later. Nothing of
        // this object is touched after.
        CVESKDevice* device = device_;
        ReleasedListeners::Instance().Adopt(std::move(thread_));
        device->CompleteRelease();
    }
}

// True when the dialogue ended by itself, false when it was terminated.
bool WatcherThread::Listen(int32_t remainingMs) {
    int64_t lastLineAt = TickMs();
    while (!terminated_) {
        const int64_t cycleStart = TickMs();
        std::string chunk;
        transport_->ReadLine(chunk, kChunkBytes, kCycleMs);
        const bool chunkArrived = !chunk.empty();
        buffer_ += chunk;
        if (buffer_.size() > kMaxPendingBytes) {
            // No scale line is this long: it is noise, not a record.
            buffer_.clear();
            scanned_ = 0;
        }
        // Bytes after the line that ended the dialogue stay in the buffer for
        // a resumed phase.
        bool lineSeen = false;
        if (HandleBufferedLines(remainingMs, lineSeen)) {
            return true;
        }
        if (terminated_) {
            break;  // terminated inside a handler: the transport may be gone
        }
        if (lineSeen) {
            lastLineAt = TickMs();
        }
        if (chunkArrived) {
            if (buffer_.empty() || TickMs() - lastLineAt < kNoLineLimitMs) {
                continue;
            }
            // Bytes keep coming but no line ends: a peer that never sends
            // CR LF, or one that dribbles. That is no answer either: it uses
            // the budget up as silence does, and the bytes are dropped as noise.
            buffer_.clear();
            scanned_ = 0;
            lastLineAt = TickMs();
            if (remainingMs == 0) {
                continue;  // unlimited: silence never ends it
            }
            remainingMs = 0;
        } else {
            PaceSilentCycle(cycleStart);
            if (remainingMs == 0) {
                continue;
            }
            remainingMs -= kCycleMs;
        }
        if (remainingMs <= 0) {
            device_->HandleTimeout(remainingMs);
        }
        if (remainingMs <= 0) {
            return true;
        }
    }
    return false;
}

// A transport that answers at once with nothing (closed, or the empty one)
// must not turn the silence budget into a busy loop: a silent cycle lasts
// its full time.
void WatcherThread::PaceSilentCycle(int64_t cycleStart) {
    const int64_t left = cycleStart + kCycleMs - TickMs();
    if (left > 0 && !terminated_) {
        wake_.Wait(std::chrono::milliseconds(left));
    }
}

bool WatcherThread::HandleBufferedLines(int32_t& remainingMs, bool& lineSeen) {
    // Only the bytes not searched yet are searched (less one, for a CR that
    // ended them): a long run of noise is not searched again per chunk.
    const size_t from = scanned_ > 0 ? scanned_ - 1 : 0;
    size_t start = 0;
    bool finished = false;
    while (!finished && !terminated_) {
        size_t end = buffer_.find("\r\n", std::max(start, from));
        if (end == std::string::npos) {
            break;
        }
        std::string line = buffer_.substr(start, end + 2 - start);
        start = end + 2;
        lineSeen = true;
        finished = device_->HandleLine(line, remainingMs);
    }
    buffer_.erase(0, start);
    scanned_ = finished || terminated_ ? 0 : buffer_.size();
    return finished;
}

}  // namespace qel
