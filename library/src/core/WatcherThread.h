// The line listener ("Listener"): reads CR LF lines from the transport and
// hands each line, and each silence that exhausts the budget, to the device's
// phase handlers. Every asynchronous dialogue with the scale runs on it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace qel {

class CInterfejs;
class CVESKDevice;

class WatcherThread {
public:
    WatcherThread(CInterfejs* transport, CVESKDevice* device, int32_t phase, bool resumeAfter,
                  int32_t resumePhase);
    ~WatcherThread();  // terminates and waits

    // `timeoutMs` is the silence budget; 0 listens without limit.
    void Start(int32_t timeoutMs);
    void Terminate() { terminated_ = true; }
    void WaitFor();
    bool IsListenerThread() const { return std::this_thread::get_id() == thread_.get_id(); }

    int32_t Phase() const { return phase_; }
    void SetPhase(int32_t phase) { phase_ = phase; }
    int32_t TimeoutMs() const { return timeoutMs_; }
    // True once the dialogue has ended by itself or on request.
    bool Finished() const { return finished_; }

private:
    void Run();
    void Listen(int32_t remainingMs);
    bool HandleBufferedLines(std::string& buffer, int32_t& remainingMs);

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
    std::string buffer_;  // received bytes not yet cut into lines
    std::thread thread_;
};

}  // namespace qel
