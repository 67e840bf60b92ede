#include "LoopbackPeers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace ethtest {
namespace {

constexpr int kBindWaitMs = 60000;

sockaddr_in Endpoint(const std::string& address, uint16_t port) {
    sockaddr_in endpoint{};
    endpoint.sin_family = AF_INET;
    endpoint.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &endpoint.sin_addr) != 1) {
        throw std::runtime_error("bad test address " + address);
    }
    if ((ntohl(endpoint.sin_addr.s_addr) >> 24) != 127) {
        throw std::runtime_error("tests stay on loopback: " + address);
    }
    return endpoint;
}

void Check(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
    }
}

uint16_t LocalPort(int handle) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    Check(getsockname(handle, reinterpret_cast<sockaddr*>(&local), &length) == 0, "getsockname");
    return ntohs(local.sin_port);
}

bool WaitReadable(int handle, int timeoutMs) {
    pollfd waiting{handle, POLLIN, 0};
    return poll(&waiting, 1, timeoutMs) > 0;
}

// Binds, waiting while another test process holds the same address and port.
void BindWaiting(int handle, const sockaddr_in& endpoint) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBindWaitMs);
    while (bind(handle, reinterpret_cast<const sockaddr*>(&endpoint), sizeof endpoint) != 0) {
        if (errno != EADDRINUSE || std::chrono::steady_clock::now() > deadline) {
            Check(false, "bind");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

UdpPeer::UdpPeer(const std::string& address, uint16_t port) {
    handle_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    Check(handle_ >= 0, "socket");
    BindWaiting(handle_, Endpoint(address, port));
    port_ = LocalPort(handle_);
}

UdpPeer::~UdpPeer() {
    close(handle_);
}

std::optional<Datagram> UdpPeer::Receive(int timeoutMs) {
    if (!WaitReadable(handle_, timeoutMs)) {
        return std::nullopt;
    }
    char buffer[65536];
    sockaddr_in source{};
    socklen_t length = sizeof source;
    ssize_t got =
        recvfrom(handle_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&source), &length);
    if (got < 0) {
        return std::nullopt;
    }
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &source.sin_addr, text, sizeof text);
    return Datagram{std::string(buffer, static_cast<size_t>(got)), text, ntohs(source.sin_port)};
}

void UdpPeer::SendTo(const std::string& bytes, const std::string& address, uint16_t port) {
    sockaddr_in to = Endpoint(address, port);
    sendto(handle_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

TcpConnection::~TcpConnection() {
    Close();
}

void TcpConnection::Send(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t now = send(handle_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (now <= 0) {
            return;
        }
        sent += static_cast<size_t>(now);
    }
}

std::string TcpConnection::Receive(size_t size, int timeoutMs) {
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (received.size() < size) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0 || !WaitReadable(handle_, static_cast<int>(left))) {
            break;
        }
        char buffer[4096];
        ssize_t got = recv(handle_, buffer, sizeof buffer, 0);
        if (got <= 0) {
            break;
        }
        received.append(buffer, static_cast<size_t>(got));
    }
    return received;
}

void TcpConnection::Reset() {
    linger abort{1, 0};
    setsockopt(handle_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    Close();
}

void TcpConnection::Close() {
    if (handle_ >= 0) {
        close(handle_);
        handle_ = -1;
    }
}

TcpListener::TcpListener(const std::string& address, int backlog) {
    handle_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    Check(handle_ >= 0, "socket");
    BindWaiting(handle_, Endpoint(address, 0));
    Check(listen(handle_, backlog) == 0, "listen");
    port_ = LocalPort(handle_);
}

TcpListener::~TcpListener() {
    close(handle_);
}

std::unique_ptr<TcpConnection> TcpListener::Accept(int timeoutMs) {
    if (!WaitReadable(handle_, timeoutMs)) {
        return nullptr;
    }
    int connection = accept4(handle_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) {
        return nullptr;
    }
    return std::make_unique<TcpConnection>(connection);
}

// A queue of length 0 holds one connection that nobody takes.
StalledListener::StalledListener(const std::string& address) : listener_(address, 0) {
    filler_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    Check(filler_ >= 0, "socket");
    sockaddr_in to = Endpoint(address, listener_.Port());
    Check(connect(filler_, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0, "connect");
}

StalledListener::~StalledListener() {
    close(filler_);
}

ModuleResponder::ModuleResponder(const std::string& address, Script script)
    : socket_(address, 65535), script_(std::move(script)), thread_([this] { Run(); }) {}

ModuleResponder::~ModuleResponder() {
    stop_ = true;
    thread_.join();
}

std::vector<std::string> ModuleResponder::Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

void ModuleResponder::ClearCommands() {
    std::lock_guard lock(mutex_);
    commands_.clear();
}

std::optional<Datagram> ModuleResponder::LastCommand() const {
    std::lock_guard lock(mutex_);
    return lastCommand_;
}

void ModuleResponder::Run() {
    while (!stop_) {
        std::optional<Datagram> command = socket_.Receive(20);
        if (!command) {
            continue;
        }
        {
            std::lock_guard lock(mutex_);
            commands_.push_back(command->bytes);
            lastCommand_ = command;
        }
        if (std::optional<std::string> reply = script_(command->bytes)) {
            socket_.Reply(*command, *reply);
        }
    }
}

std::vector<std::string> ThreadNames() {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ignored)) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        if (std::getline(comm, name)) {
            names.push_back(name);
        }
    }
    return names;
}

}  // namespace ethtest
