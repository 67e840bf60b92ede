#pragma once

// Small clients that talk to the simulator the way a program does: a serial port on the
// pseudo-terminal, and a TCP connection.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

class FdClient {
public:
    FdClient() = default;
    explicit FdClient(int fd) : fd_(fd) {}
    ~FdClient() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    FdClient(const FdClient&) = delete;
    FdClient& operator=(const FdClient&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    bool Send(const std::string& bytes) {
        return write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Collects bytes until `idle` passes without any (or `limit` bytes arrived).
    std::string Collect(std::chrono::milliseconds idle = std::chrono::milliseconds(150),
                        std::size_t limit = 1 << 20) {
        std::string text;
        while (text.size() < limit) {
            pollfd waitFor{fd_, POLLIN, 0};
            if (poll(&waitFor, 1, static_cast<int>(idle.count())) <= 0) {
                break;
            }
            char buffer[4096];
            const ssize_t count = read(fd_, buffer, sizeof buffer);
            if (count <= 0) {
                break;
            }
            text.append(buffer, static_cast<std::size_t>(count));
        }
        return text;
    }

    // Collects until the text holds `lines` line feeds or `timeout` passes.
    std::string CollectLines(int lines,
                             std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
        std::string text;
        const auto end = std::chrono::steady_clock::now() + timeout;
        int seen = 0;
        while (seen < lines) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd waitFor{fd_, POLLIN, 0};
            if (left.count() <= 0 || poll(&waitFor, 1, static_cast<int>(left.count())) <= 0) {
                break;
            }
            char buffer[4096];
            const ssize_t count = read(fd_, buffer, sizeof buffer);
            if (count <= 0) {
                break;
            }
            for (ssize_t i = 0; i < count; ++i) {
                seen += buffer[i] == '\n' ? 1 : 0;
            }
            text.append(buffer, static_cast<std::size_t>(count));
        }
        return text;
    }

    std::string Exchange(const std::string& command,
                         std::chrono::milliseconds idle = std::chrono::milliseconds(150)) {
        Send(command);
        return Collect(idle);
    }

protected:
    int fd_ = -1;
};

// The slave side of the simulator's pseudo-terminal, opened like a serial port.
class SerialClient : public FdClient {
public:
    explicit SerialClient(const std::string& path, speed_t speed = B9600)
        : FdClient(open(path.c_str(), O_RDWR | O_NOCTTY)) {
        if (fd_ >= 0) {
            SetSpeed(speed);
        }
    }

    void SetSpeed(speed_t speed, bool evenParity = false) {
        termios settings{};
        tcgetattr(fd_, &settings);
        cfmakeraw(&settings);
        if (evenParity) {
            settings.c_cflag |= PARENB;
        }
        cfsetspeed(&settings, speed);
        tcsetattr(fd_, TCSANOW, &settings);
    }
};

class TcpClient : public FdClient {
public:
    TcpClient(const std::string& host, int port)
        : FdClient(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, host.c_str(), &address.sin_addr);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
};
