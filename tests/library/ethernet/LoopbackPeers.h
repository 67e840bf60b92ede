// The other end of the Ethernet transport in tests: plain sockets on loopback
// addresses, playing the scale's module. Every wait has a bound.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ethtest {

struct Datagram {
    std::string bytes;
    std::string fromAddress;
    uint16_t fromPort = 0;
};

// A UDP socket bound to `address`:`port` (0 picks a free port). Test cases
// run side by side in separate processes; when another one holds the same
// address and port, this waits for it to be free.
class UdpPeer {
public:
    explicit UdpPeer(const std::string& address, uint16_t port = 0);
    ~UdpPeer();
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    uint16_t Port() const { return port_; }
    std::optional<Datagram> Receive(int timeoutMs);
    void SendTo(const std::string& bytes, const std::string& address, uint16_t port);
    void Reply(const Datagram& to, const std::string& bytes) {
        SendTo(bytes, to.fromAddress, to.fromPort);
    }

private:
    int handle_ = -1;
    uint16_t port_ = 0;
};

class TcpConnection {
public:
    explicit TcpConnection(int handle) : handle_(handle) {}
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    void Send(const std::string& bytes);
    // Collects what arrives until `size` bytes are there or `timeoutMs` ran out.
    std::string Receive(size_t size, int timeoutMs);
    // Closes with a reset instead of an orderly end.
    void Reset();
    void Close();

private:
    int handle_;
};

class TcpListener {
public:
    explicit TcpListener(const std::string& address, int backlog = 8);
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    uint16_t Port() const { return port_; }
    // Null when nobody connected within `timeoutMs`.
    std::unique_ptr<TcpConnection> Accept(int timeoutMs);

private:
    int handle_ = -1;
    uint16_t port_ = 0;
};

// A listener whose queue is full and which never takes a connection: the
// system drops further connection requests, so a connect to it neither
// succeeds nor fails until its own time limit, as with a host that is off.
class StalledListener {
public:
    explicit StalledListener(const std::string& address);
    ~StalledListener();
    StalledListener(const StalledListener&) = delete;
    StalledListener& operator=(const StalledListener&) = delete;

    uint16_t Port() const { return listener_.Port(); }

private:
    TcpListener listener_;
    int filler_ = -1;  // the connection that fills the queue
};

// A scripted Ethernet module on UDP port 65535 of `address`: every datagram
// is recorded and answered with what the script returns (nothing for an
// empty optional). The script runs on the responder's thread.
class ModuleResponder {
public:
    using Script = std::function<std::optional<std::string>(const std::string& command)>;

    ModuleResponder(const std::string& address, Script script);
    ~ModuleResponder();

    std::vector<std::string> Commands() const;
    void ClearCommands();
    // The last datagram, with the address and port it came from.
    std::optional<Datagram> LastCommand() const;

private:
    void Run();

    UdpPeer socket_;
    Script script_;
    mutable std::mutex mutex_;
    std::vector<std::string> commands_;
    std::optional<Datagram> lastCommand_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Names of the threads of this process, as the system shows them.
std::vector<std::string> ThreadNames();

}  // namespace ethtest
