#include "EventLoop.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace scalesim {

namespace {

std::atomic<bool> stopRequested{false};
sigset_t waitMask;

sigset_t ControlSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGUSR1);
    sigaddset(&signals, SIGHUP);
    return signals;
}

void RequestStop(int) {
    stopRequested = true;
}

timespec Timeout(std::optional<Clock::time_point> deadline, Clock::time_point now) {
    // Without a deadline the loop still wakes now and then; that costs nothing and bounds
    // any mistake in a deadline.
    auto wait = std::chrono::nanoseconds(std::chrono::seconds(1));
    if (deadline) {
        wait = std::clamp<std::chrono::nanoseconds>(*deadline - now, std::chrono::nanoseconds(0),
                                                    wait);
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
    return {static_cast<time_t>(seconds.count()), static_cast<long>((wait - seconds).count())};
}

}  // namespace

void EventLoop::PrepareSignals() {
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    sigset_t blocked = ControlSignals();
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    // The control signals stay pending until the loop reads them from its descriptor.
    sigaddset(&waitMask, SIGUSR1);
    sigaddset(&waitMask, SIGHUP);
}

EventLoop::EventLoop() {
    const sigset_t signals = ControlSignals();
    signalFd_ = signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
}

EventLoop::~EventLoop() {
    if (signalFd_ >= 0) {
        close(signalFd_);
    }
}

// A signal sent before a command is pending before that command's bytes arrive, so
// reading the signals first in every pass applies the change before the command.
void EventLoop::RunSignalActions() {
    signalfd_siginfo info{};
    while (signalFd_ >= 0 && read(signalFd_, &info, sizeof info) == sizeof info) {
        const auto action = actions_.find(static_cast<int>(info.ssi_signo));
        if (action != actions_.end()) {
            action->second();
        }
    }
}

void EventLoop::Run() {
    std::vector<pollfd> fds;
    std::vector<std::size_t> firstFd(endpoints_.size());
    while (!stopRequested && !endpoints_.empty()) {
        fds.clear();
        fds.push_back({signalFd_, POLLIN, 0});
        firstFd.resize(endpoints_.size());
        std::optional<Clock::time_point> deadline;
        for (std::size_t i = 0; i < endpoints_.size(); ++i) {
            firstFd[i] = fds.size();
            endpoints_[i]->AddPollFds(fds);
            const auto due = endpoints_[i]->NextDeadline();
            if (due && (!deadline || *due < *deadline)) {
                deadline = due;
            }
        }
        const timespec timeout = Timeout(deadline, Clock::now());
        const int ready = ppoll(fds.data(), fds.size(), &timeout, &waitMask);
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (ready < 0) {
            for (pollfd& fd : fds) {
                fd.revents = 0;
            }
        }
        RunSignalActions();
        const auto now = Clock::now();
        for (std::size_t i = 0; i < endpoints_.size(); ++i) {
            endpoints_[i]->Process(fds.data() + firstFd[i], now);
        }
        std::erase_if(endpoints_, [](const auto& endpoint) { return endpoint->Closed(); });
    }
}

}  // namespace scalesim
