// The receiving thread of the Ethernet transport ("EthernetReceiver"):
// hands whatever arrives on the data socket to the receive buffer, until it
// is stopped.
//
// Datagrams can come from anyone. Only the module's are taken: in unicast
// routing those from the module's address, in broadcast routing those from
// the first sender that answers after Open. With broadcast routing every
// sender is still listed among the responders.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

#include "ethernet/CEthernet.h"
#include "platform/Socket.h"
#include "transport/ReceiveBuffer.h"

namespace qel {

class CEthernet::ReceiverThread {
public:
    // Starts at once. `moduleAddress`: where the transport sends to.
    ReceiverThread(CEthernet& owner, Socket& socket, uint32_t moduleAddress);
    ~ReceiverThread();  // stops and joins

    ReceiveBuffer& Buffer() { return buffer_; }
    // Ends the loop and waits for the thread; later calls do nothing.
    void Stop();

private:
    void Run();
    bool IsFromModule(const Ipv4Endpoint& source);
    void Append(const char* bytes, size_t size);

    static constexpr int kBufferSize = 512;
    static constexpr size_t kMaxPending = 1024 * 1024;

    CEthernet& owner_;
    Socket& socket_;
    const uint32_t moduleAddress_;
    std::optional<uint32_t> firstResponder_;  // only the thread uses it
    ReceiveBuffer buffer_{kMaxPending};
    std::atomic<bool> stopRequested_{false};
    std::mutex stopMutex_;  // two threads may close the same connection
    std::thread thread_;
};

}  // namespace qel
