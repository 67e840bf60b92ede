#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Conversation.h"
#include "Endpoint.h"
#include "LoopbackAddress.h"
#include "ModuleSerial.h"

namespace scalesim {

// The scale's line over TCP, as the Ethernet module carries it: each accepted connection
// talks to a scale of its own, or all to the one scale of --one-scale.
class TcpServer : public Endpoint {
public:
    // `module` is the Ethernet module's serial side, or null when no module is simulated.
    static std::unique_ptr<TcpServer> Open(const DeviceSetup& setup, const LoopbackAddress& where,
                                           const ModuleSerial* module, std::string& error);
    ~TcpServer() override;

    const LoopbackAddress& Address() const { return address_; }

    void AddPollFds(std::vector<pollfd>& fds) override;
    void Process(const pollfd* fds, Clock::time_point now) override;
    std::optional<Clock::time_point> NextDeadline() const override;

private:
    struct Client {
        int fd;
        Conversation conversation;
        bool wantWrite = false;
        bool closed = false;
    };

    TcpServer(const DeviceSetup& setup, int listener, LoopbackAddress address,
              const ModuleSerial* module);

    void AcceptClients();
    void ReadClient(Client& client, Clock::time_point now);
    void FlushClient(Client& client, Clock::time_point now);

    DeviceSetup setup_;
    int listener_;
    LoopbackAddress address_;
    const ModuleSerial* module_;
    std::vector<std::unique_ptr<Client>> clients_;
    std::size_t polledClients_ = 0;
    int connections_ = 0;
};

// Binds a socket of `type` to the address; port 0 picks a free one, written back.
int BindLoopbackSocket(int type, LoopbackAddress& address, std::string& error);

}  // namespace scalesim
