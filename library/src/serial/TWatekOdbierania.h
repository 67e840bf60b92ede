// The serial receiving thread ("ComListener"): polls the line in passes of at
// most 10 ms and hands every byte to the receive buffer.
#pragma once

#include <atomic>
#include <thread>

#include "transport/ReceiveBuffer.h"

namespace qel {

class SerialDevice;

class TWatekOdbierania {
public:
    explicit TWatekOdbierania(SerialDevice& device);
    ~TWatekOdbierania();  // stops and joins

    ReceiveBuffer& Buffer() { return buffer_; }

private:
    void Run();

    static constexpr size_t kMaxBuffered = 4 * 1024 * 1024;

    SerialDevice& device_;
    ReceiveBuffer buffer_{kMaxBuffered};
    std::atomic<bool> stopRequested_{false};
    std::thread thread_;
};

}  // namespace qel
