#pragma once

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "Endpoint.h"

namespace scalesim {

// Serves all endpoints from one thread until SIGTERM or SIGINT arrives or nothing is left
// to serve. Replies are written as soon as they are due: no endpoint ever sleeps.
class EventLoop {
public:
    EventLoop();
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    void Add(std::unique_ptr<Endpoint> endpoint) { endpoints_.push_back(std::move(endpoint)); }
    // Blocks SIGTERM and SIGINT outside the wait, so that a stop request is never lost, and
    // the control signals (SIGUSR1, SIGHUP) always: they are read as events.
    static void PrepareSignals();
    // Runs `action` on the loop's thread for each `signal` (SIGUSR1 or SIGHUP), before the
    // endpoints handle what arrived after it.
    void OnSignal(int signal, std::function<void()> action) {
        actions_[signal] = std::move(action);
    }
    void Run();

private:
    void RunSignalActions();

    std::vector<std::unique_ptr<Endpoint>> endpoints_;
    std::map<int, std::function<void()>> actions_;
    int signalFd_ = -1;
};

}  // namespace scalesim
