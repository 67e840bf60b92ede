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

namespace qel {

struct Ipv4Endpoint {
    uint32_t address = 0;  // host byte order: 127.0.0.1 is 0x7F000001
    uint16_t port = 0;
};

// A dotted address as the classic inet_addr reads it (the short forms "a.b"
// and octal or hexadecimal parts included). Empty when the text is not one.
std::optional<uint32_t> ParseIpv4(const std::string& text);
std::string FormatIpv4(uint32_t address);

class Socket {
public:
    enum class Kind { kStream, kDatagram };
    // Receive's answer when a stream has ended or failed, or when receiving
    // has been stopped: nothing more will come.
    static constexpr int kEnded = -1;

    // A TCP (stream) or UDP (datagram) socket. Null on failure, with the
    // system's reason in `error`.
    static std::unique_ptr<Socket> Create(Kind kind, std::string* error);
    ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    Kind GetKind() const { return kind_; }

    // Connects a stream socket; gives up after `timeoutMs`, or when another
    // thread calls Interrupt.
    bool Connect(const Ipv4Endpoint& peer, int timeoutMs, std::string* error);
    // Gives a datagram socket its local port on every interface now rather
    // than at its first send, so that a receiver has something to wait on.
    bool BindAnyPort(std::string* error);

    // Sends every byte of a stream; gives up when the peer takes nothing for
    // `stallTimeoutMs`.
    bool SendAll(std::string_view data, int stallTimeoutMs, std::string* error);
    // Sends one datagram. `allowBroadcast` lets it go to a broadcast address.
    bool SendTo(std::string_view datagram, const Ipv4Endpoint& peer, bool allowBroadcast,
                int stallTimeoutMs, std::string* error);

    // Waits up to `timeoutMs` for input and reads it: the byte count (a
    // datagram longer than `size` is cut), 0 when nothing came (an empty
    // datagram, a transient error), or kEnded. `from` gets the sender; for a
    // stream, the connected peer.
    int Receive(char* buffer, int size, Ipv4Endpoint* from, int timeoutMs);

    // Ends the sending direction of a stream (the peer sees end of data).
    bool ShutdownSend(std::string* error);
    // Makes a Receive waiting on another thread return at once, and every
    // later one return kEnded; a Connect in progress fails.
    void Interrupt();

    uint16_t LocalPort() const;

private:
    Socket(int handle, Kind kind) : handle_(handle), kind_(kind) {}
    bool WaitWritable(int timeoutMs);
    bool WaitConnected(int timeoutMs, std::string* error);

    const int handle_;
    const Kind kind_;
    Ipv4Endpoint peer_;
    std::atomic<bool> broadcastEnabled_{false};
    std::atomic<bool> interrupted_{false};
};

}  // namespace qel
