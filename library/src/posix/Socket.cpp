#include "platform/Socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>

#include "platform/Clock.h"

namespace qel {
namespace {

sockaddr_in ToSockaddr(const Ipv4Endpoint& endpoint) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(endpoint.address);
    address.sin_port = htons(endpoint.port);
    return address;
}

Ipv4Endpoint FromSockaddr(const sockaddr_in& address) {
    return Ipv4Endpoint{ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
}

// The longest a wait goes without looking for an Interrupt.
constexpr int64_t kPassMs = 100;

bool IsTransient(int code) {
    return code == EAGAIN || code == EWOULDBLOCK || code == EINTR;
}

}  // namespace

std::optional<uint32_t> ParseIpv4(const std::string& text) {
    in_addr address{};
    if (inet_aton(text.c_str(), &address) == 0) {
        return std::nullopt;
    }
    return ntohl(address.s_addr);
}

std::string FormatIpv4(uint32_t address) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char digits[4];
        auto result = std::to_chars(digits, digits + sizeof digits, (address >> shift) & 0xFFu);
        text.append(digits, result.ptr);
        if (shift != 0) {
            text += '.';
        }
    }
    return text;
}

std::string FormatEndpoint(const Ipv4Endpoint& endpoint) {
    return FormatIpv4(endpoint.address) + ":" + std::to_string(endpoint.port);
}

Outcome<std::unique_ptr<Socket>> Socket::Create(Kind kind) {
    Outcome<std::unique_ptr<Socket>> created;
    const int type = kind == Kind::kStream ? SOCK_STREAM : SOCK_DGRAM;
    const int protocol = kind == Kind::kStream ? IPPROTO_TCP : IPPROTO_UDP;
    // Non-blocking, so that every wait is a bounded poll of our own.
    int handle = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (handle < 0) {
        created.failure = SystemFailure(errno, kind == Kind::kStream ? "TCP socket" : "UDP socket");
        return created;
    }
    created.value.reset(new Socket(handle, kind));
    return created;
}

Socket::~Socket() {
    ::close(handle_);
}

Failure Socket::Connect(const Ipv4Endpoint& peer, int timeoutMs) {
    sockaddr_in address = ToSockaddr(peer);
    if (::connect(handle_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        peer_ = peer;
        return Failure();
    }
    if (errno != EINPROGRESS) {
        return SystemFailure(errno, FormatEndpoint(peer));
    }
    if (Failure waited = WaitConnected(peer, timeoutMs); waited.Failed()) {
        return waited;
    }
    int code = 0;
    socklen_t length = sizeof code;
    if (::getsockopt(handle_, SOL_SOCKET, SO_ERROR, &code, &length) != 0 || code != 0) {
        return SystemFailure(code != 0 ? code : errno, FormatEndpoint(peer));
    }
    peer_ = peer;
    return Failure();
}

// Interrupt wakes the wait at once here (a shutdown ends a connect in
// progress); the short passes cover systems where it would not.
Failure Socket::WaitConnected(const Ipv4Endpoint& peer, int timeoutMs) {
    const int64_t deadline = TickMs() + timeoutMs;
    while (!interrupted_) {
        const int64_t left = deadline - TickMs();
        if (left <= 0) {
            return SystemFailure(ETIMEDOUT, FormatEndpoint(peer));
        }
        pollfd waiting{handle_, POLLOUT, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(std::min<int64_t>(left, kPassMs)));
        if (ready < 0 && errno != EINTR) {
            return SystemFailure(errno, FormatEndpoint(peer));
        }
        if (ready > 0 && !interrupted_) {
            return Failure();
        }
    }
    return SystemFailure(ECANCELED, FormatEndpoint(peer));
}

Failure Socket::BindAnyPort() {
    sockaddr_in address = ToSockaddr(Ipv4Endpoint{INADDR_ANY, 0});
    if (::bind(handle_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return SystemFailure(errno, "UDP socket");
    }
    return Failure();
}

bool Socket::WaitWritable(int timeoutMs) {
    pollfd waiting{handle_, POLLOUT, 0};
    return ::poll(&waiting, 1, timeoutMs) > 0;
}

Failure Socket::SendAll(std::string_view data, int stallTimeoutMs) {
    while (!data.empty()) {
        ssize_t sent = ::send(handle_, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0) {
            data.remove_prefix(static_cast<size_t>(sent));
            continue;
        }
        if (!IsTransient(errno)) {
            return SystemFailure(errno, FormatEndpoint(peer_));
        }
        if (errno != EINTR && !WaitWritable(stallTimeoutMs)) {
            return SystemFailure(ETIMEDOUT, FormatEndpoint(peer_));
        }
    }
    return Failure();
}

Failure Socket::SendTo(std::string_view datagram, const Ipv4Endpoint& peer, bool allowBroadcast,
                       int stallTimeoutMs) {
    if (allowBroadcast && !broadcastEnabled_) {
        int on = 1;
        ::setsockopt(handle_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        broadcastEnabled_ = true;
    }
    sockaddr_in address = ToSockaddr(peer);
    while (true) {
        ssize_t sent =
            ::sendto(handle_, datagram.data(), datagram.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
                     reinterpret_cast<sockaddr*>(&address), sizeof address);
        if (sent >= 0) {
            return Failure();
        }
        if (!IsTransient(errno)) {
            return SystemFailure(errno, FormatEndpoint(peer));
        }
        if (errno != EINTR && !WaitWritable(stallTimeoutMs)) {
            return SystemFailure(ETIMEDOUT, FormatEndpoint(peer));
        }
    }
}

int Socket::Receive(char* buffer, int size, Ipv4Endpoint* from, int timeoutMs) {
    if (interrupted_) {
        return kEnded;
    }
    pollfd waiting{handle_, POLLIN, 0};
    int ready = ::poll(&waiting, 1, timeoutMs);
    if (interrupted_) {
        return kEnded;
    }
    if (ready <= 0) {
        return 0;
    }
    sockaddr_in source{};
    socklen_t sourceLength = sizeof source;
    ssize_t got = ::recvfrom(handle_, buffer, static_cast<size_t>(size), MSG_DONTWAIT,
                             reinterpret_cast<sockaddr*>(&source), &sourceLength);
    const bool stream = kind_ == Kind::kStream;
    if (got > 0) {
        if (from != nullptr) {
            *from = stream ? peer_ : FromSockaddr(source);
        }
        return static_cast<int>(got);
    }
    if (got == 0) {
        return stream ? kEnded : 0;  // a stream's end; an empty datagram
    }
    if (IsTransient(errno)) {
        return 0;
    }
    // A datagram socket reports a previous send's failure here and goes on;
    // a stream that failed is done.
    return stream ? kEnded : 0;
}

Failure Socket::ShutdownSend() {
    if (::shutdown(handle_, SHUT_WR) != 0) {
        return SystemFailure(errno, FormatEndpoint(peer_));
    }
    return Failure();
}

void Socket::Interrupt() {
    interrupted_ = true;
    // Wakes a poll that is waiting on the socket; the flag covers systems
    // where it does not, within the waiter's own timeout.
    ::shutdown(handle_, SHUT_RD);
}

uint16_t Socket::LocalPort() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(handle_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

}  // namespace qel
