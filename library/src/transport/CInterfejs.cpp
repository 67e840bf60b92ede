#include "transport/CInterfejs.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <thread>

#include "platform/Clock.h"
#include "text/TextUtil.h"

namespace qel {
namespace {

void SleepUntil(int64_t deadlineMs) {
    const int64_t left = deadlineMs - TickMs();
    if (left > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(left));
    }
}

}  // namespace

CInterfejs::~CInterfejs() = default;

bool CInterfejs::SetBaud(int32_t baud) {
    if (std::find(std::begin(kBaudRates), std::end(kBaudRates), baud) == std::end(kBaudRates)) {
        return ApplyBaud(false);
    }
    baud_ = baud;
    return ApplyBaud(true);
}

bool CInterfejs::SetParity(char letter) {
    if (letter != 'N' && letter != 'O' && letter != 'E') {
        return ApplyParity(false);
    }
    parity_ = letter;
    return ApplyParity(true);
}

const char* CInterfejs::GetParam(const char* key) {
    if (key == nullptr) {
        return nullptr;
    }
    if (std::strcmp(key, "baud") == 0) {
        return ReturnParam(FormatInt(baud_));
    }
    if (std::strcmp(key, "parity") == 0) {
        return ReturnParam(std::string(1, parity_));
    }
    return nullptr;
}

const char* CInterfejs::ReturnParam(std::string text) {
    paramText_ = std::move(text);
    return paramText_.c_str();
}

bool CInterfejs::ReadLine(std::string& out, const int32_t& maxBytes, uint32_t timeoutMs) {
    std::string accumulated;
    int32_t total = 0;
    bool lineEnded = false;
    const int64_t deadline = TickMs() + timeoutMs;
    do {
        std::string chunk;
        int32_t count = maxBytes - total;
        Read(chunk, count);
        // What came is the text itself: a closed transport may leave `count`
        // as it was.
        if (chunk.empty()) {
            if (!IsOpen()) {
                // Nothing can come: wait the time out all the same, so that a
                // caller counting silent reads keeps its pace.
                SleepUntil(deadline);
                break;
            }
            continue;
        }
        total += static_cast<int32_t>(chunk.size());
        accumulated += chunk;
        if (accumulated.size() >= 2 &&
            accumulated.compare(accumulated.size() - 2, 2, "\r\n") == 0) {
            lineEnded = true;
            break;
        }
    } while (TickMs() < deadline && total < maxBytes);
    out = std::move(accumulated);
    return lineEnded;
}

bool CInterfejs::WriteRead(std::string& data, int32_t& count, uint32_t idleTimeoutMs) {
    // "Until silence" and other large counts stop at the byte cap, and a
    // peer that never goes quiet at the overall deadline.
    const int64_t want = std::min<int64_t>(std::max<int32_t>(count, 0), kMaxCollectBytes);
    std::string accumulated;
    if (!data.empty()) {
        Write(data);
    }
    const int64_t start = TickMs();
    const int64_t overallDeadline = start + idleTimeoutMs + kCollectOverrunMs;
    int64_t deadline = start + idleTimeoutMs;
    do {
        std::string chunk;
        int32_t got = static_cast<int32_t>(want - static_cast<int64_t>(accumulated.size()));
        Read(chunk, got);
        if (!chunk.empty()) {
            accumulated += chunk;
            deadline = std::min(TickMs() + idleTimeoutMs, overallDeadline);
        } else if (!IsOpen()) {
            break;  // nothing can come
        }
    } while (TickMs() < deadline && static_cast<int64_t>(accumulated.size()) < want);
    if (accumulated.size() > static_cast<size_t>(kMaxCollectBytes)) {
        // A transport may hand over all it holds at once; the cap holds all the same.
        accumulated.resize(static_cast<size_t>(kMaxCollectBytes));
    }
    count = static_cast<int32_t>(accumulated.size());
    data = std::move(accumulated);
    return count > 0;
}

bool CInterfejs::WriteExpect(std::string command, std::string expected, uint32_t idleTimeoutMs) {
    int32_t wanted = static_cast<int32_t>(expected.size());
    WriteRead(command, wanted, idleTimeoutMs);
    return Trim(command) == Trim(expected);
}

}  // namespace qel
