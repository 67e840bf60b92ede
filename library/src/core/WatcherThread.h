// The line listener ("Listener"): reads CR LF lines from the transport and
// hands each line, and each silence that exhausts the budget, to the device's
// phase handlers. Every asynchronous dialogue with the scale runs on it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Event.h"

namespace qel {

class CInterfejs;
class CVESKDevice;

class WatcherThread {
public:
    // The largest budget: a whole number of cycles that an int32 holds.
    static constexpr int32_t kMaxBudgetMs = 2147483600;
    // How long a phase may go on receiving bytes without a complete line
    // before it counts as silent: the longest line the scale sends (512
    // bytes) at 1200 baud with a parity bit, with room to spare.
    static constexpr int64_t kNoLineLimitMs = 5000;

    WatcherThread(CInterfejs* transport, CVESKDevice* device, int32_t phase, bool resumeAfter,
                  int32_t resumePhase);
    ~WatcherThread();  // terminates and waits

    // `timeoutMs` is the silence budget; 0 listens without limit.
    void Start(int32_t timeoutMs);
    void Terminate();
    void WaitFor();
    bool IsListenerThread() const { return std::this_thread::get_id() == listenerId_; }
    // Once the run is over, the listener thread itself releases the device
    // (and so this object): a Release made inside a callback.
    void ReleaseDeviceAtEnd() { releaseDevice_ = true; }

    int32_t Phase() const { return phase_; }
    void SetPhase(int32_t phase) { phase_ = phase; }
    int32_t TimeoutMs() const { return timeoutMs_; }
    // True once the dialogue has ended by itself or on request.
    bool Finished() const { return finished_; }
    // True when the dialogue ended by itself (a handler finished it or its
    // budget ran out) rather than on request.
    bool EndedByItself() const { return endedByItself_; }

    // The budget that `timeoutMs` gives: rounded up to whole cycles, at most
    // kMaxBudgetMs.
    static int32_t BudgetOf(int32_t timeoutMs);

private:
    void Run();
    bool Listen(int32_t remainingMs);
    // Hands every complete line to the device; `lineSeen` tells whether one
    // was there. True when a handler finished the dialogue.
    bool HandleBufferedLines(int32_t& remainingMs, bool& lineSeen);
    void PaceSilentCycle(int64_t cycleStart);

    static constexpr int32_t kCycleMs = 100;
    static constexpr int32_t kChunkBytes = 100;
    static constexpr size_t kMaxPendingBytes = 64 * 1024;

    CInterfejs* transport_;
    CVESKDevice* device_;
    std::atomic<int32_t> phase_;
    std::atomic<int32_t> timeoutMs_{0};
    bool resumeAfter_;
    int32_t resumePhase_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> endedByItself_{false};
    std::atomic<bool> releaseDevice_{false};
    Event wake_;          // set by Terminate: ends a paced wait at once
    std::string buffer_;  // received bytes not yet cut into lines
    size_t scanned_ = 0;  // bytes of buffer_ known to hold no CR LF
    std::atomic<std::thread::id> listenerId_{};
    // Held while Start stores thread_: the thread takes it first, so that it
    // sees thread_ as stored when it hands it over (ReleaseDeviceAtEnd).
    std::mutex startMutex_;
    std::thread thread_;
};

}  // namespace qel
