#include "CallbackHub.h"

namespace {
constexpr auto kTick = std::chrono::milliseconds(100);
}

CallbackHub& CallbackHub::instance() {
    static CallbackHub hub;
    return hub;
}

void CallbackHub::onProgress(double fraction) {
    CallbackHub& hub = instance();
    std::lock_guard lock(hub.mutex_);
    ++hub.state_.progressCalls;
    hub.state_.fraction = fraction;
    hub.touched();
}

void CallbackHub::onStatus(int32_t status) {
    CallbackHub& hub = instance();
    std::function<void(int32_t)> hook;
    {
        std::lock_guard lock(hub.mutex_);
        hook = hub.statusHook_;
    }
    // Outside the lock: the hook calls back into the library.
    if (hook) {
        hook(status);
    }
    std::lock_guard lock(hub.mutex_);
    hub.state_.statuses.push_back(status);
    hub.touched();
}

void CallbackHub::onWeight(WeighingResult result) {
    CallbackHub& hub = instance();
    std::lock_guard lock(hub.mutex_);
    hub.state_.weight = result;
    hub.touched();
}

void CallbackHub::touched() {
    lastCall_ = std::chrono::steady_clock::now();
    changed_.notify_all();
}

void CallbackHub::reset(std::function<void(int32_t)> statusHook) {
    std::lock_guard lock(mutex_);
    state_ = Snapshot();
    statusHook_ = std::move(statusHook);
    lastCall_ = std::chrono::steady_clock::now();
}

bool CallbackHub::waitUntil(const std::function<bool(const Snapshot&)>& done,
                            std::chrono::milliseconds idle,
                            const std::function<void(const Snapshot&)>& tick) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (done(state_)) {
            return true;
        }
        if (std::chrono::steady_clock::now() - lastCall_ >= idle) {
            return false;
        }
        if (tick) {
            const Snapshot copy = state_;
            lock.unlock();
            tick(copy);
            lock.lock();
        }
        changed_.wait_for(lock, kTick);
    }
}
