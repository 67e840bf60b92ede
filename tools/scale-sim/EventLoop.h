#pragma once

#include <memory>
#include <vector>

#include "Endpoint.h"

namespace scalesim {

// Serves all endpoints from one thread until SIGTERM or SIGINT arrives or nothing is left
// to serve. Replies are written as soon as they are due: no endpoint ever sleeps.
class EventLoop {
public:
    void Add(std::unique_ptr<Endpoint> endpoint) { endpoints_.push_back(std::move(endpoint)); }
    // Blocks SIGTERM and SIGINT outside the wait, so that a stop request is never lost.
    static void PrepareSignals();
    void Run();

private:
    std::vector<std::unique_ptr<Endpoint>> endpoints_;
};

}  // namespace scalesim
