// Why an operation failed: one small model for every layer of the library.
// The platform layer turns the system's error numbers into a Failure (one
// function per platform, SystemFailure), the transports keep the last one
// in a FailureRecord, and the device hands the reason of a failed Connect to
// its caller as the parameter "error".
//
// Texts are our own English, never the system's message under the process
// locale: a caller may show them, log them or parse their code, and the same
// failure reads the same on every machine.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace qel {

enum class FailureCode {
    kNone,
    kNotFound,     // no such device, file or library entry
    kPermission,   // the system refuses access
    kBusy,         // another program holds it
    kUnreachable,  // no route to the host or network
    kRefused,      // the peer refused the connection
    kTimeout,      // no answer in time
    kNoLibrary,    // a run-time library is missing or unusable
    kInvalid,      // the settings cannot work (a bad address, no device chosen)
    kClosed,       // it was closed, or the other end went away
    kIo,           // the device or the line failed while in use
    kOther,
};

// The code's name as callers see it: "not-found", "permission", "busy",
// "unreachable", "refused", "timeout", "no-library", "invalid", "closed",
// "io", "other"; "" for kNone.
const char* FailureCodeName(FailureCode code);

struct Failure {
    FailureCode code = FailureCode::kNone;
    // The port or address first, then ": " and what went wrong.
    std::string detail;

    Failure() = default;
    Failure(FailureCode failureCode, std::string text)
        : code(failureCode), detail(std::move(text)) {}

    bool Failed() const { return code != FailureCode::kNone; }
    // "<code>: <detail>", or "" for no failure.
    std::string Text() const;
};

// What a factory of the platform layer gives: the object, or none and why.
template <typename T>
struct Outcome {
    T value{};
    Failure failure;
};

// The system's error number `systemError` met while working on `subject` (a
// port, an address, a file): its code and our English text for it, with the
// subject in front. One implementation per platform.
Failure SystemFailure(int systemError, std::string_view subject);
// Our English text for a system error number, without a subject.
std::string SystemErrorText(int systemError);

// Whether QELSCALE_DEBUG=1 was set when the library first looked.
bool DebugTraceEnabled();
// One line on standard error when the trace is on: "QELScale: <what>:
// <code>: <detail>".
void TraceFailure(std::string_view what, const Failure& failure);

// The last failure of an object whose threads may fail at the same time as
// its caller reads the reason. Each Set is traced.
class FailureRecord {
public:
    void Set(std::string_view what, Failure failure);
    // As Set, but a failure equal to the one kept is neither kept again nor
    // traced: a thread that meets a dead line on every pass says so once.
    void SetUnlessSame(std::string_view what, Failure failure);
    void Clear();
    Failure Get() const;

private:
    mutable std::mutex mutex_;
    Failure failure_;
};

}  // namespace qel
