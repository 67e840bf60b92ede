#include "platform/Failure.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qel {

const char* FailureCodeName(FailureCode code) {
    switch (code) {
        case FailureCode::kNone:
            return "";
        case FailureCode::kNotFound:
            return "not-found";
        case FailureCode::kPermission:
            return "permission";
        case FailureCode::kBusy:
            return "busy";
        case FailureCode::kUnreachable:
            return "unreachable";
        case FailureCode::kRefused:
            return "refused";
        case FailureCode::kTimeout:
            return "timeout";
        case FailureCode::kNoLibrary:
            return "no-library";
        case FailureCode::kInvalid:
            return "invalid";
        case FailureCode::kClosed:
            return "closed";
        case FailureCode::kIo:
            return "io";
        case FailureCode::kOther:
            return "other";
    }
    return "other";
}

std::string Failure::Text() const {
    if (!Failed()) {
        return std::string();
    }
    return std::string(FailureCodeName(code)) + ": " + detail;
}

// Read once: the variable is meant to be set before the program starts, and
// a failure on any thread must not race a change of the environment.
bool DebugTraceEnabled() {
    static const bool enabled = [] {
        const char* value = std::getenv("QELSCALE_DEBUG");
        return value != nullptr && std::strcmp(value, "1") == 0;
    }();
    return enabled;
}

void TraceFailure(std::string_view what, const Failure& failure) {
    if (!DebugTraceEnabled() || !failure.Failed()) {
        return;
    }
    // One write per line, so that lines of two threads do not interleave.
    const std::string line = "QELScale: " + std::string(what) + ": " + failure.Text() + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void FailureRecord::Set(std::string_view what, Failure failure) {
    TraceFailure(what, failure);
    std::lock_guard lock(mutex_);
    failure_ = std::move(failure);
}

void FailureRecord::SetUnlessSame(std::string_view what, Failure failure) {
    {
        std::lock_guard lock(mutex_);
        if (failure_.code == failure.code && failure_.detail == failure.detail) {
            return;
        }
    }
    Set(what, std::move(failure));
}

void FailureRecord::Clear() {
    std::lock_guard lock(mutex_);
    failure_ = Failure();
}

Failure FailureRecord::Get() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

}  // namespace qel
