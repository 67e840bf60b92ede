// An IPv4 socket reduced to what the Ethernet transport needs. The POSIX
// version lives in posix/; nothing else includes the socket headers.
//
// Sockets never block a thread for good: every wait has a bound, and sending
// to a peer that went away fails instead of raising a signal.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Failure.h"

namespace qel {

struct Ipv4Endpoint {
    uint32_t address = 0;  // host byte order: 127.0.0.1 is 0x7F000001
    uint16_t port = 0;
};

// A dotted address as the classic inet_addr reads it (the short forms "a.b"
// and octal or hexadecimal parts included). Empty when the text is not one.
std::optional<uint32_t> ParseIpv4(const std::string& text);
std::string FormatIpv4(uint32_t address);
// "192.168.1.75:1001": how a reason names the peer.
std::string FormatEndpoint(const Ipv4Endpoint& endpoint);

class Socket {
public:
    enum class Kind { kStream, kDatagram };
    // Receive's answer when a stream has ended or failed, or when receiving
    // has been stopped: nothing more will come.
    static constexpr int kEnded = -1;

    // A TCP (stream) or UDP (datagram) socket, or none and why.
    static Outcome<std::unique_ptr<Socket>> Create(Kind kind);
    ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    Kind GetKind() const { return kind_; }

    // The operations below answer with why they failed; a Failure that has
    // not Failed() is success. The reason names the peer.

    // Connects a stream socket; gives up after `timeoutMs` (kTimeout), or
    // when another thread calls Interrupt (kClosed).
    Failure Connect(const Ipv4Endpoint& peer, int timeoutMs);
    // Gives a datagram socket its local port on every interface now rather
    // than at its first send, so that a receiver has something to wait on.
    Failure BindAnyPort();

    // Sends every byte of a stream; gives up when the peer takes nothing for
    // `stallTimeoutMs`.
    Failure SendAll(std::string_view data, int stallTimeoutMs);
    // Sends one datagram. `allowBroadcast` lets it go to a broadcast address.
    Failure SendTo(std::string_view datagram, const Ipv4Endpoint& peer, bool allowBroadcast,
                   int stallTimeoutMs);

    // Waits up to `timeoutMs` for input and reads it: the byte count (a
    // datagram longer than `size` is cut), 0 when nothing came (an empty
    // datagram, a transient error), or kEnded. `from` gets the sender; for a
    // stream, the connected peer.
    int Receive(char* buffer, int size, Ipv4Endpoint* from, int timeoutMs);

    // Ends the sending direction of a stream (the peer sees end of data).
    Failure ShutdownSend();
    // Makes a Receive waiting on another thread return at once, and every
    // later one return kEnded; a Connect in progress fails.
    void Interrupt();

    uint16_t LocalPort() const;

private:
    Socket(int handle, Kind kind) : handle_(handle), kind_(kind) {}
    bool WaitWritable(int timeoutMs);
    Failure WaitConnected(const Ipv4Endpoint& peer, int timeoutMs);

    const int handle_;
    const Kind kind_;
    Ipv4Endpoint peer_;
    std::atomic<bool> broadcastEnabled_{false};
    std::atomic<bool> interrupted_{false};
};

}  // namespace qel
