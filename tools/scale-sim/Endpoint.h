#pragma once

#include <poll.h>

#include <optional>
#include <vector>

#include "Reply.h"

namespace scalesim {

// Something the event loop serves: it names the descriptors it waits on, handles what
// happened to them, and says when it next needs to run without an event.
class Endpoint {
public:
    virtual ~Endpoint() = default;

    virtual void AddPollFds(std::vector<pollfd>& fds) = 0;
    // Called once per loop pass with the entries this endpoint added (same order).
    virtual void Process(const pollfd* fds, Clock::time_point now) = 0;
    virtual std::optional<Clock::time_point> NextDeadline() const = 0;
    // An endpoint that has nothing left to serve (a hung-up pseudo-terminal).
    virtual bool Closed() const { return false; }
};

}  // namespace scalesim
