#include "core/WatcherThread.h"

#include "core/CVESKDevice.h"
#include "platform/ThreadName.h"
#include "transport/CInterfejs.h"

namespace qel {

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

void WatcherThread::Start(int32_t timeoutMs) {
    timeoutMs_ = timeoutMs;
    thread_ = std::thread([this] { Run(); });
}

void WatcherThread::WaitFor() {
    if (thread_.joinable() && !IsListenerThread()) {
        thread_.join();
    }
}

void WatcherThread::Run() {
    NameCurrentThread("Listener");
    // Silence is counted in whole cycles, so the budget is rounded up to one.
    const int32_t timeoutMs = timeoutMs_;
    int32_t remainingMs = static_cast<int32_t>((static_cast<int64_t>(timeoutMs) + 99) / 100 * 100);
    try {
        Listen(remainingMs);
        if (resumeAfter_ && !terminated_) {
            // The dialogue interrupted an unlimited listener: carry on in its
            // phase, without a limit, until terminated.
            phase_ = resumePhase_;
            timeoutMs_ = 0;
            resumeAfter_ = false;
            resumePhase_ = 0;
            Listen(0);
        }
    } catch (...) {
        // A conversion error in a handler (a malformed count or record
        // number) ends the dialogue; the caller notices by the missing status.
    }
    finished_ = true;
}

void WatcherThread::Listen(int32_t remainingMs) {
    while (!terminated_) {
        std::string chunk;
        transport_->ReadLine(chunk, kChunkBytes, kCycleMs);
        const bool chunkArrived = !chunk.empty();
        buffer_ += chunk;
        if (buffer_.size() > kMaxPendingBytes) {
            // No scale line is this long: it is noise, not a record.
            buffer_.clear();
        }
        // Bytes after the line that ended the dialogue stay in the buffer for
        // a resumed phase.
        if (HandleBufferedLines(buffer_, remainingMs)) {
            return;
        }
        if (remainingMs == 0 || chunkArrived) {
            continue;
        }
        remainingMs -= kCycleMs;
        if (remainingMs <= 0) {
            device_->HandleTimeout(remainingMs);
        }
        if (remainingMs <= 0) {
            return;
        }
    }
}

bool WatcherThread::HandleBufferedLines(std::string& buffer, int32_t& remainingMs) {
    size_t start = 0;
    bool finished = false;
    while (!finished && !terminated_) {
        size_t end = buffer.find("\r\n", start);
        if (end == std::string::npos) {
            break;
        }
        std::string line = buffer.substr(start, end + 2 - start);
        start = end + 2;
        finished = device_->HandleLine(line, remainingMs);
    }
    buffer.erase(0, start);
    return finished;
}

}  // namespace qel
