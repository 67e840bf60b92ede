#include "transport/CInterfejs.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/Clock.h"
#include "text/TextUtil.h"

namespace qel {

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
        if (count > 0) {
            total += count;
            accumulated += chunk;
            if (accumulated.size() >= 2 &&
                accumulated.compare(accumulated.size() - 2, 2, "\r\n") == 0) {
                lineEnded = true;
                break;
            }
        }
    } while (TickMs() < deadline && total < maxBytes);
    out = std::move(accumulated);
    return lineEnded;
}

bool CInterfejs::WriteRead(std::string& data, int32_t& count, uint32_t idleTimeoutMs) {
    const int32_t want = count;
    std::string accumulated;
    int32_t total = 0;
    if (!data.empty()) {
        Write(data);
    }
    int64_t deadline = TickMs() + idleTimeoutMs;
    do {
        std::string chunk;
        int32_t got = want - total;
        Read(chunk, got);
        if (got > 0) {
            total += got;
            accumulated += chunk;
            deadline = TickMs() + idleTimeoutMs;
        }
    } while (TickMs() < deadline && total < want);
    count = total;
    data = std::move(accumulated);
    return total > 0;
}

bool CInterfejs::WriteExpect(std::string command, std::string expected, uint32_t idleTimeoutMs) {
    int32_t wanted = static_cast<int32_t>(expected.size());
    WriteRead(command, wanted, idleTimeoutMs);
    return Trim(command) == Trim(expected);
}

}  // namespace qel
