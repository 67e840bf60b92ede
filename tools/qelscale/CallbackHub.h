#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "QELScale.h"

// The library calls plain functions on its own thread; this one hub takes
// those calls for the run (a run drives one dialogue at a time) and lets the
// main thread wait for them, with the progress shown meanwhile.
class CallbackHub {
public:
    struct Snapshot {
        long long progressCalls = 0;
        double fraction = 0.0;
        std::vector<int32_t> statuses;
        std::optional<WeighingResult> weight;

        bool hasStatus() const { return !statuses.empty(); }
    };

    static CallbackHub& instance();

    // The functions to hand to the library.
    static void onProgress(double fraction);
    static void onStatus(int32_t status);
    static void onWeight(WeighingResult result);

    // Forgets the last dialogue. `statusHook` runs on the library thread
    // inside each status call, where the library lets the caller read what
    // the dialogue has stored so far.
    void reset(std::function<void(int32_t)> statusHook = {});

    // Waits until `done` holds or `idle` passes without any call from the
    // library; `tick` runs on the calling thread about ten times a second.
    // True when `done` held.
    bool waitUntil(const std::function<bool(const Snapshot&)>& done, std::chrono::milliseconds idle,
                   const std::function<void(const Snapshot&)>& tick = {});

private:
    void touched();

    std::mutex mutex_;
    std::condition_variable changed_;
    Snapshot state_;
    std::chrono::steady_clock::time_point lastCall_;
    std::function<void(int32_t)> statusHook_;
};
