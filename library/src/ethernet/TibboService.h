// The service channel to the Ethernet module's management port, UDP 65535
// ("TibboServiceReceiver"). Commands are bare ASCII texts in one datagram;
// replies are one datagram whose first letter is the status ("A" accepted).
// The commands run on the thread that calls the transport; the channel's own
// thread only receives.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "ethernet/CEthernet.h"
#include "platform/Event.h"
#include "platform/Socket.h"

namespace qel {

class CEthernet::TibboService {
public:
    // Aims at port 65535 of `moduleAddress` and starts receiving. None when
    // its socket cannot be made, and why. With `broadcast` the address may
    // reach several modules: the first that answers is the one the channel
    // talks to from then on.
    static Outcome<std::unique_ptr<TibboService>> Start(uint32_t moduleAddress, bool broadcast);
    ~TibboService();  // StopService

    // Baud index 0..7 of the baud table; parity index 0 none, 1 even, 2 odd.
    bool SetModuleBaud(uint32_t baudIndex);
    bool SetModuleParity(uint32_t parityIndex);
    bool BeginSession();
    bool EndSession();
    // The rate the module's serial side runs at; 0 when the reply is unreadable.
    int32_t GetModuleBaud();
    // The raw identity reply: status letter, MAC, then fields split by '/'.
    std::string QueryIdentity();
    // The version text, without the status letter.
    std::string QueryFirmwareVersion();
    // Ends the receiving thread and waits for it; later calls do nothing.
    void StopService();

private:
    TibboService(std::unique_ptr<Socket> socket, Ipv4Endpoint peer, bool broadcast);
    // Sends `command` and returns the datagram that answered it within
    // `waitMs`; empty when none did.
    std::string Command(const std::string& command, int waitMs);
    bool IsAccepted(const std::string& command);
    void Run();
    // Takes `source` for the module when it is one: only the module's
    // management port answers, and a datagram from anyone else must neither
    // pass for a reply nor draw the next command to its sender.
    bool IsFromModule(const Ipv4Endpoint& source);

    static constexpr int kBufferSize = 64;

    std::unique_ptr<Socket> socket_;
    std::mutex commandMutex_;        // one command at a time
    mutable std::mutex replyMutex_;  // reply_ and peer_
    std::string reply_;
    Ipv4Endpoint peer_;
    const bool broadcast_;
    // Until then, with broadcast, commands go to the broadcast address.
    bool peerAnswered_ = false;
    Event replyEvent_;
    std::atomic<bool> stopRequested_{false};
    std::mutex stopMutex_;
    std::thread thread_;
};

}  // namespace qel
