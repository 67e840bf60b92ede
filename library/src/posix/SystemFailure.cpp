// The one place where a POSIX error number becomes a reason. The texts are
// ours: strerror would answer in the process locale, and callers compare,
// log and translate these.
#include <cerrno>
#include <string>

#include "platform/Failure.h"
#include "text/TextUtil.h"

namespace qel {
namespace {

struct SystemReason {
    FailureCode code;
    const char* text;
};

SystemReason ReasonOf(int systemError) {
    switch (systemError) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return {FailureCode::kNotFound, "no such device"};
        case ENOTDIR:
            return {FailureCode::kNotFound, "a part of the path is not a folder"};
        case EACCES:
        case EPERM:
            return {FailureCode::kPermission, "permission denied"};
        case EROFS:
            return {FailureCode::kPermission, "read-only file system"};
        case EBUSY:
            return {FailureCode::kBusy, "in use by another program"};
        case EWOULDBLOCK:  // EAGAIN too: a lock someone else holds
            return {FailureCode::kBusy, "locked by another program"};
        case EADDRINUSE:
            return {FailureCode::kBusy, "address already in use"};
        case ENETUNREACH:
            return {FailureCode::kUnreachable, "network unreachable"};
        case EHOSTUNREACH:
            return {FailureCode::kUnreachable, "host unreachable"};
        case ENETDOWN:
            return {FailureCode::kUnreachable, "network is down"};
        case EHOSTDOWN:
            return {FailureCode::kUnreachable, "host is down"};
        case EADDRNOTAVAIL:
            return {FailureCode::kUnreachable, "address not available"};
        case ECONNREFUSED:
            return {FailureCode::kRefused, "connection refused"};
        case ETIMEDOUT:
            return {FailureCode::kTimeout, "timed out"};
        case EINVAL:
            return {FailureCode::kInvalid, "invalid argument"};
        case ENOTTY:
            return {FailureCode::kInvalid, "not a serial line"};
        case EAFNOSUPPORT:
        case EPROTONOSUPPORT:
            return {FailureCode::kInvalid, "protocol not supported"};
        case ECANCELED:
            return {FailureCode::kClosed, "closed while in progress"};
        case EBADF:
            return {FailureCode::kClosed, "not open"};
        case EPIPE:
            return {FailureCode::kClosed, "the other end has closed"};
        case ECONNRESET:
            return {FailureCode::kClosed, "connection reset by peer"};
        case ECONNABORTED:
            return {FailureCode::kClosed, "connection aborted"};
        case ENOTCONN:
            return {FailureCode::kClosed, "not connected"};
        case EIO:
            return {FailureCode::kIo, "input/output error"};
        case EMFILE:
        case ENFILE:
            return {FailureCode::kOther, "too many open files"};
        case ENOMEM:
        case ENOBUFS:
            return {FailureCode::kOther, "out of memory"};
        default:
            return {FailureCode::kOther, nullptr};
    }
}

}  // namespace

std::string SystemErrorText(int systemError) {
    const SystemReason reason = ReasonOf(systemError);
    if (reason.text != nullptr) {
        return reason.text;
    }
    return "system error " + FormatInt(systemError);
}

Failure SystemFailure(int systemError, std::string_view subject) {
    const SystemReason reason = ReasonOf(systemError);
    std::string detail(subject);
    detail += ": ";
    detail += reason.text != nullptr ? std::string(reason.text) : SystemErrorText(systemError);
    return Failure(reason.code, std::move(detail));
}

}  // namespace qel
