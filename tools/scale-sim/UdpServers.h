#pragma once

#include <netinet/in.h>

#include <map>
#include <memory>
#include <string>

#include "Conversation.h"
#include "Endpoint.h"
#include "LoopbackAddress.h"
#include "ModuleSerial.h"
#include "TibboModule.h"

namespace scalesim {

// The scale's line as UDP datagrams: each sender address gets a conversation of its own
// (with a scale of its own unless --one-scale), and the replies go back to it.
class UdpServer : public Endpoint {
public:
    static std::unique_ptr<UdpServer> Open(const DeviceSetup& setup, const LoopbackAddress& where,
                                           const ModuleSerial* module, std::string& error);
    ~UdpServer() override;

    const LoopbackAddress& Address() const { return address_; }

    void AddPollFds(std::vector<pollfd>& fds) override;
    void Process(const pollfd* fds, Clock::time_point now) override;
    std::optional<Clock::time_point> NextDeadline() const override;

private:
    struct Peer {
        sockaddr_in address;
        Conversation conversation;
        Clock::time_point lastHeard;
        bool forgotten = false;
    };

    UdpServer(const DeviceSetup& setup, int fd, LoopbackAddress address,
              const ModuleSerial* module);

    void ReadDatagrams(Clock::time_point now);
    Peer& PeerFor(const sockaddr_in& address, Clock::time_point now);
    void FlushPeer(Peer& peer, Clock::time_point now);

    DeviceSetup setup_;
    int fd_;
    LoopbackAddress address_;
    const ModuleSerial* module_;
    std::map<std::string, std::unique_ptr<Peer>> peers_;
    bool wantWrite_ = false;
    int conversations_ = 0;
};

// The Ethernet module's management port: UDP 65535 of the scale's address.
class TibboServer : public Endpoint {
public:
    static std::unique_ptr<TibboServer> Open(const TibboSettings& settings, ModuleSerial& serial,
                                             const std::string& host, bool trace,
                                             std::string& error);
    ~TibboServer() override;

    const LoopbackAddress& Address() const { return address_; }

    void AddPollFds(std::vector<pollfd>& fds) override;
    void Process(const pollfd* fds, Clock::time_point now) override;
    std::optional<Clock::time_point> NextDeadline() const override { return std::nullopt; }

private:
    TibboServer(const TibboSettings& settings, ModuleSerial& serial, int fd,
                LoopbackAddress address, bool trace);

    int fd_;
    LoopbackAddress address_;
    TibboModule module_;
    bool trace_;
};

}  // namespace scalesim
