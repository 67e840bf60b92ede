#pragma once

#include <memory>
#include <string>

#include "Conversation.h"
#include "Endpoint.h"

namespace scalesim {

// The scale on a pseudo-terminal: a program opens the slave device as its serial port.
class PtyServer : public Endpoint {
public:
    // Opens the terminal at the scale's configured speed and, if `linkPath` is not empty,
    // places a symbolic link there to the slave device.
    static std::unique_ptr<PtyServer> Open(const DeviceSetup& setup, const std::string& linkPath,
                                           std::string& error);
    ~PtyServer() override;

    const std::string& SlavePath() const { return slavePath_; }

    void AddPollFds(std::vector<pollfd>& fds) override;
    void Process(const pollfd* fds, Clock::time_point now) override;
    std::optional<Clock::time_point> NextDeadline() const override;
    bool Closed() const override { return master_ < 0; }

private:
    PtyServer(const DeviceSetup& setup, int master, int slave, std::string slavePath);

    void ReadAvailable(Clock::time_point now);
    void FlushOutput(Clock::time_point now);
    void FinishHangUp(Clock::time_point now);
    void HangUp();
    void RemoveLink();

    int master_;
    // Our own descriptor of the slave: while it is open, the master never reads EIO when
    // the program closes and reopens the port, and its settings stay readable.
    int slave_;
    std::string slavePath_;
    std::string linkPath_;
    int scaleBaud_;
    Conversation conversation_;
    bool wantWrite_ = false;
    std::optional<Clock::time_point> hangUpBy_;
};

}  // namespace scalesim
