#include "TcpServer.h"

#include <fcntl.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace scalesim {

namespace {

// Enough for any test or person at once; a flood of connections cannot eat descriptors.
constexpr std::size_t kMaxClients = 32;

}  // namespace

int BindLoopbackSocket(int type, LoopbackAddress& address, std::string& error) {
    const int fd = socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("cannot create a socket: ") + std::strerror(errno);
        return -1;
    }
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in bound = address.ToSockaddr();
    if (bind(fd, reinterpret_cast<sockaddr*>(&bound), sizeof bound) != 0) {
        error = "cannot bind " + address.ToString() + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    address.port = ntohs(bound.sin_port);
    return fd;
}

std::unique_ptr<TcpServer> TcpServer::Open(const DeviceSetup& setup, const LoopbackAddress& where,
                                           const ModuleSerial* module, std::string& error) {
    LoopbackAddress address = where;
    const int listener = BindLoopbackSocket(SOCK_STREAM, address, error);
    if (listener < 0) {
        return nullptr;
    }
    if (listen(listener, 8) != 0) {
        error = "cannot listen on " + address.ToString() + ": " + std::strerror(errno);
        close(listener);
        return nullptr;
    }
    return std::unique_ptr<TcpServer>(new TcpServer(setup, listener, address, module));
}

TcpServer::TcpServer(const DeviceSetup& setup, int listener, LoopbackAddress address,
                     const ModuleSerial* module)
    : setup_(setup), listener_(listener), address_(std::move(address)), module_(module) {}

TcpServer::~TcpServer() {
    for (const auto& client : clients_) {
        close(client->fd);
    }
    close(listener_);
}

void TcpServer::AddPollFds(std::vector<pollfd>& fds) {
    fds.push_back({listener_, POLLIN, 0});
    for (const auto& client : clients_) {
        fds.push_back(
            {client->fd, static_cast<short>(POLLIN | (client->wantWrite ? POLLOUT : 0)), 0});
    }
    polledClients_ = clients_.size();
}

void TcpServer::Process(const pollfd* fds, Clock::time_point now) {
    for (std::size_t i = 0; i < polledClients_; ++i) {
        Client& client = *clients_[i];
        if (fds[i + 1].revents & (POLLIN | POLLERR | POLLHUP)) {
            ReadClient(client, now);
        }
        if (!client.closed) {
            FlushClient(client, now);
        }
    }
    std::erase_if(clients_, [](const std::unique_ptr<Client>& client) {
        if (client->closed) {
            close(client->fd);
        }
        return client->closed;
    });
    if (fds[0].revents & POLLIN) {
        AcceptClients();
    }
}

void TcpServer::AcceptClients() {
    for (;;) {
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        if (clients_.size() >= kMaxClients) {
            close(fd);
            continue;
        }
        const int yes = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        ++connections_;
        clients_.push_back(std::unique_ptr<Client>(
            new Client{fd, Conversation(setup_, "tcp#" + std::to_string(connections_))}));
    }
}

void TcpServer::ReadClient(Client& client, Clock::time_point now) {
    char buffer[4096];
    for (;;) {
        const ssize_t count = recv(client.fd, buffer, sizeof buffer, 0);
        if (count == 0 || (count < 0 && errno != EAGAIN && errno != EINTR)) {
            client.closed = true;
            return;
        }
        if (count < 0) {
            return;
        }
        client.conversation.Receive(
            std::string_view(buffer, static_cast<std::size_t>(count)), NetworkLineState(module_),
            NetworkByteTime(module_, setup_.scale->baud, client.conversation.Model()), now);
    }
}

void TcpServer::FlushClient(Client& client, Clock::time_point now) {
    const auto state =
        client.conversation.Flush(now, [&client](const char* data, std::size_t size) {
            const ssize_t written = send(client.fd, data, size, MSG_NOSIGNAL);
            if (written < 0) {
                return (errno == EAGAIN || errno == EINTR) ? 0L : -1L;
            }
            return static_cast<long>(written);
        });
    client.wantWrite = state == OutputQueue::State::Blocked;
    if (state == OutputQueue::State::HangUp || state == OutputQueue::State::Failed) {
        client.closed = true;
    }
}

std::optional<Clock::time_point> TcpServer::NextDeadline() const {
    std::optional<Clock::time_point> earliest;
    for (const auto& client : clients_) {
        const auto due = client->conversation.NextDue();
        if (due && !client->wantWrite && (!earliest || *due < *earliest)) {
            earliest = due;
        }
    }
    return earliest;
}

}  // namespace scalesim
