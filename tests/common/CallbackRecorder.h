// The library's callbacks are plain functions that arrive on its listener
// thread; tests collect them here and wait for them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "QELScale.h"

namespace qeltest {

class CallbackRecorder {
public:
    static CallbackRecorder& Instance() {
        static CallbackRecorder recorder;
        return recorder;
    }

    void Clear() {
        std::lock_guard lock(mutex_);
        statuses_.clear();
        progress_.clear();
        weights_.clear();
        endingScale_ = nullptr;
    }

    static void OnStatus(int32_t status) { Instance().Add(Instance().statuses_, status); }

    // Makes OnStatusEndingEarly end the read after `recordId` at status 0, as a caller
    // that already holds the older records does. Clear() forgets it.
    void EndReadAfterHeader(CVESKScaleInterface* scale, int64_t recordId) {
        std::lock_guard lock(mutex_);
        endingScale_ = scale;
        endAfter_ = recordId;
    }
    static void OnStatusEndingEarly(int32_t status) {
        if (status == 0) {
            Instance().EndTheRead();
        }
        OnStatus(status);
    }
    static void OnProgress(double fraction) { Instance().Add(Instance().progress_, fraction); }
    static void OnWeight(WeighingResult result) { Instance().Add(Instance().weights_, result); }

    std::vector<int32_t> WaitForStatuses(size_t count, std::chrono::milliseconds within) {
        return WaitFor(statuses_, count, within);
    }
    std::vector<double> WaitForProgress(size_t count, std::chrono::milliseconds within) {
        return WaitFor(progress_, count, within);
    }
    std::vector<WeighingResult> WaitForWeights(size_t count, std::chrono::milliseconds within) {
        return WaitFor(weights_, count, within);
    }
    std::vector<double> Progress() {
        std::lock_guard lock(mutex_);
        return progress_;
    }
    std::vector<int32_t> Statuses() {
        std::lock_guard lock(mutex_);
        return statuses_;
    }

private:
    void EndTheRead() {
        CVESKScaleInterface* scale = nullptr;
        int64_t recordId = 0;
        {
            std::lock_guard lock(mutex_);
            scale = endingScale_;
            recordId = endAfter_;
        }
        if (scale != nullptr) {
            scale->EndAlibiReadAfter(recordId);
        }
    }

    template <typename T>
    void Add(std::vector<T>& list, T value) {
        {
            std::lock_guard lock(mutex_);
            list.push_back(value);
        }
        changed_.notify_all();
    }

    template <typename T>
    std::vector<T> WaitFor(std::vector<T>& list, size_t count, std::chrono::milliseconds within) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, within, [&] { return list.size() >= count; });
        return list;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int32_t> statuses_;
    std::vector<double> progress_;
    std::vector<WeighingResult> weights_;
    CVESKScaleInterface* endingScale_ = nullptr;
    int64_t endAfter_ = 0;
};

}  // namespace qeltest
