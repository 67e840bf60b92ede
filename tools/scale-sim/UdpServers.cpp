#include "UdpServers.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "TcpServer.h"

namespace scalesim {

namespace {

// A program reads datagrams of up to 512 bytes; longer replies go out in several.
constexpr std::size_t kMaxDatagram = 512;
// Senders beyond this many are forgotten, the longest silent first.
constexpr std::size_t kMaxPeers = 16;

std::string PeerKey(const sockaddr_in& address) {
    char host[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(address.sin_port));
}

std::string Printable(std::string_view bytes) {
    std::string shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte >= 127) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

}  // namespace

std::unique_ptr<UdpServer> UdpServer::Open(const DeviceSetup& setup, const LoopbackAddress& where,
                                           const ModuleSerial* module, std::string& error) {
    LoopbackAddress address = where;
    const int fd = BindLoopbackSocket(SOCK_DGRAM, address, error);
    if (fd < 0) {
        return nullptr;
    }
    return std::unique_ptr<UdpServer>(new UdpServer(setup, fd, address, module));
}

UdpServer::UdpServer(const DeviceSetup& setup, int fd, LoopbackAddress address,
                     const ModuleSerial* module)
    : setup_(setup), fd_(fd), address_(std::move(address)), module_(module) {}

UdpServer::~UdpServer() {
    close(fd_);
}

void UdpServer::AddPollFds(std::vector<pollfd>& fds) {
    fds.push_back({fd_, static_cast<short>(POLLIN | (wantWrite_ ? POLLOUT : 0)), 0});
}

void UdpServer::Process(const pollfd* fds, Clock::time_point now) {
    if (fds[0].revents & POLLIN) {
        ReadDatagrams(now);
    }
    wantWrite_ = false;
    for (auto& [key, peer] : peers_) {
        FlushPeer(*peer, now);
    }
    std::erase_if(peers_, [](const auto& entry) { return entry.second->forgotten; });
}

void UdpServer::ReadDatagrams(Clock::time_point now) {
    char buffer[65536];
    for (;;) {
        sockaddr_in sender{};
        socklen_t length = sizeof sender;
        const ssize_t count =
            recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&sender), &length);
        if (count < 0) {
            return;
        }
        Peer& peer = PeerFor(sender, now);
        peer.conversation.Receive(
            std::string_view(buffer, static_cast<std::size_t>(count)), NetworkLineState(module_),
            NetworkByteTime(module_, setup_.scale->baud, peer.conversation.Model()), now);
    }
}

UdpServer::Peer& UdpServer::PeerFor(const sockaddr_in& address, Clock::time_point now) {
    const std::string key = PeerKey(address);
    auto found = peers_.find(key);
    if (found == peers_.end()) {
        if (peers_.size() >= kMaxPeers) {
            auto oldest = peers_.begin();
            for (auto it = peers_.begin(); it != peers_.end(); ++it) {
                if (it->second->lastHeard < oldest->second->lastHeard) {
                    oldest = it;
                }
            }
            peers_.erase(oldest);
        }
        ++conversations_;
        found = peers_
                    .emplace(key, std::unique_ptr<Peer>(new Peer{
                                      address,
                                      Conversation(setup_, "udp#" + std::to_string(conversations_)),
                                      now}))
                    .first;
    }
    found->second->lastHeard = now;
    return *found->second;
}

void UdpServer::FlushPeer(Peer& peer, Clock::time_point now) {
    const auto state = peer.conversation.Flush(now, [&](const char* data, std::size_t size) {
        const std::size_t length = std::min(size, kMaxDatagram);
        const ssize_t sent =
            sendto(fd_, data, length, MSG_NOSIGNAL,
                   reinterpret_cast<const sockaddr*>(&peer.address), sizeof peer.address);
        if (sent < 0) {
            return (errno == EAGAIN || errno == EINTR) ? 0L : -1L;
        }
        return static_cast<long>(sent);
    });
    wantWrite_ = wantWrite_ || state == OutputQueue::State::Blocked;
    // A datagram carrier has no connection to drop: the scale forgets the conversation.
    if (state == OutputQueue::State::HangUp || state == OutputQueue::State::Failed) {
        peer.forgotten = true;
    }
}

std::optional<Clock::time_point> UdpServer::NextDeadline() const {
    if (wantWrite_) {
        return std::nullopt;  // the socket's readiness wakes the loop
    }
    std::optional<Clock::time_point> earliest;
    for (const auto& [key, peer] : peers_) {
        const auto due = peer->conversation.NextDue();
        if (due && (!earliest || *due < *earliest)) {
            earliest = due;
        }
    }
    return earliest;
}

std::unique_ptr<TibboServer> TibboServer::Open(const TibboSettings& settings, ModuleSerial& serial,
                                               const std::string& host, bool trace,
                                               std::string& error) {
    LoopbackAddress address{host, 65535};
    const int fd = BindLoopbackSocket(SOCK_DGRAM, address, error);
    if (fd < 0) {
        return nullptr;
    }
    return std::unique_ptr<TibboServer>(new TibboServer(settings, serial, fd, address, trace));
}

TibboServer::TibboServer(const TibboSettings& settings, ModuleSerial& serial, int fd,
                         LoopbackAddress address, bool trace)
    : fd_(fd), address_(std::move(address)), module_(settings, serial), trace_(trace) {}

TibboServer::~TibboServer() {
    close(fd_);
}

void TibboServer::AddPollFds(std::vector<pollfd>& fds) {
    fds.push_back({fd_, POLLIN, 0});
}

void TibboServer::Process(const pollfd* fds, Clock::time_point) {
    if (!(fds[0].revents & POLLIN)) {
        return;
    }
    char buffer[2048];
    for (;;) {
        sockaddr_in sender{};
        socklen_t length = sizeof sender;
        const ssize_t count =
            recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&sender), &length);
        if (count < 0) {
            return;
        }
        const std::string_view command(buffer, static_cast<std::size_t>(count));
        const auto reply = module_.Handle(command);
        if (trace_) {
            std::fprintf(stderr, "scale-sim tibbo < %s\nscale-sim tibbo > %s\n",
                         Printable(command.substr(0, 16)).c_str(),
                         reply ? Printable(*reply).c_str() : "(silent)");
        }
        if (reply) {
            sendto(fd_, reply->data(), reply->size(), MSG_NOSIGNAL,
                   reinterpret_cast<const sockaddr*>(&sender), length);
        }
    }
}

}  // namespace scalesim
