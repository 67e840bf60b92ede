// The receiving thread of the Ethernet transport ("EthernetReceiver"):
// gathers whatever arrives on the data socket into a pending text and
// signals each arrival, until it is stopped.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "ethernet/CEthernet.h"
#include "platform/Event.h"

namespace qel {

class Socket;

class CEthernet::ReceiverThread {
public:
    // Starts at once.
    ReceiverThread(CEthernet& owner, Socket& socket);
    ~ReceiverThread();  // stops and joins

    // Takes everything pending. When nothing is, waits up to `wait` for an
    // arrival first.
    std::string Take(std::chrono::milliseconds wait);
    // Ends the loop and waits for the thread; later calls do nothing.
    void Stop();

private:
    void Run();
    void Append(const char* bytes, size_t size);

    static constexpr int kBufferSize = 512;
    // A peer that floods a transport nobody reads must not eat the memory:
    // beyond this the oldest bytes go.
    static constexpr size_t kMaxPending = 1024 * 1024;

    CEthernet& owner_;
    Socket& socket_;
    std::mutex mutex_;
    std::string pending_;
    Event arrived_;
    std::atomic<bool> stopRequested_{false};
    std::mutex stopMutex_;  // two threads may close the same connection
    std::thread thread_;
};

}  // namespace qel
