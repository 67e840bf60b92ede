#include "Peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace ftstandin {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kConnectTimeoutMs = 1000;

speed_t SpeedConstant(uint32_t baud) {
    switch (baud) {
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return B0;
    }
}

// Milliseconds left until `deadline`; -1 (wait without limit) when there is
// no deadline.
int RemainingMs(bool limited, Clock::time_point deadline) {
    if (!limited) {
        return -1;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

int OpenPty(const std::string& path) {
    return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

int ConnectTcp(const std::string& host, uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        pollfd pfd{fd, POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        if (errno != EINPROGRESS || ::poll(&pfd, 1, kConnectTimeoutMs) != 1 ||
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            ::close(fd);
            return -1;
        }
    }
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

}  // namespace

std::unique_ptr<Peer> Peer::Connect(const PeerAddress& address, const LineSettings& line) {
    int fd = -1;
    switch (address.kind) {
        case PeerAddress::Kind::None:
            break;
        case PeerAddress::Kind::Pty:
            fd = OpenPty(address.path);
            if (fd < 0) {
                return nullptr;
            }
            break;
        case PeerAddress::Kind::Tcp:
            fd = ConnectTcp(address.host, address.port);
            if (fd < 0) {
                return nullptr;
            }
            break;
    }
    std::unique_ptr<Peer> peer(new Peer(address.kind, fd));
    if (!peer->Apply(line)) {
        return nullptr;
    }
    return peer;
}

Peer::~Peer() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

// Only a pseudo-terminal has a line to set: its far end reads the speed back
// from it, as a scale notices a mismatched line. Some kernels refuse parity
// and 7-bit frames on a pseudo-terminal; the converter itself would take
// them, so the speed alone is set then.
bool Peer::Apply(const LineSettings& line) {
    if (kind_ != PeerAddress::Kind::Pty) {
        return true;
    }
    speed_t speed = SpeedConstant(line.baud);
    termios settings{};
    if (speed == B0 || ::tcgetattr(fd_, &settings) != 0) {
        return false;
    }
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
    termios withFrame = settings;
    withFrame.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    withFrame.c_cflag |= line.dataBits == 7 ? CS7 : CS8;
    if (line.stopBits == 2) {
        withFrame.c_cflag |= CSTOPB;
    }
    if (line.parity == 'E') {
        withFrame.c_cflag |= PARENB;
    } else if (line.parity == 'O') {
        withFrame.c_cflag |= PARENB | PARODD;
    }
    return ::tcsetattr(fd_, TCSANOW, &withFrame) == 0 || ::tcsetattr(fd_, TCSANOW, &settings) == 0;
}

int Peer::Read(char* buffer, int size, uint32_t timeoutMs) {
    const bool limited = timeoutMs != 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    if (fd_ < 0) {
        // Nothing attached: nothing ever arrives.
        if (!limited) {
            for (;;) {
                std::this_thread::sleep_for(std::chrono::hours(1));
            }
        }
        std::this_thread::sleep_until(deadline);
        return 0;
    }
    int total = 0;
    while (total < size) {
        int waitMs = RemainingMs(limited, deadline);
        pollfd pfd{fd_, POLLIN, 0};
        int ready = ::poll(&pfd, 1, waitMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            break;
        }
        ssize_t got = ::read(fd_, buffer + total, static_cast<size_t>(size - total));
        if (got > 0) {
            total += static_cast<int>(got);
        } else if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        } else {
            return total > 0 ? total : -1;  // hung up: hand over what came first
        }
        if (waitMs == 0) {
            break;
        }
    }
    return total;
}

int Peer::Write(const char* data, int size, uint32_t timeoutMs) {
    if (fd_ < 0) {
        return size;  // an unconnected line swallows everything
    }
    const bool limited = timeoutMs != 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int total = 0;
    while (total < size) {
        ssize_t sent =
            kind_ == PeerAddress::Kind::Tcp
                ? ::send(fd_, data + total, static_cast<size_t>(size - total), MSG_NOSIGNAL)
                : ::write(fd_, data + total, static_cast<size_t>(size - total));
        if (sent > 0) {
            total += static_cast<int>(sent);
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EINTR) {
            return total > 0 ? total : -1;
        }
        int waitMs = RemainingMs(limited, deadline);
        pollfd pfd{fd_, POLLOUT, 0};
        if (waitMs == 0 || ::poll(&pfd, 1, waitMs) <= 0) {
            break;
        }
    }
    return total;
}

}  // namespace ftstandin
