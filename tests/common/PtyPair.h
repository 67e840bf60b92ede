// A pseudo-terminal pair for tests: the library opens the slave path like a
// serial port; the test plays the scale on the master side.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "TermiosBaud.h"

namespace qeltest {

class PtyPair {
public:
    PtyPair() {
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        slavePath_ = name;
        termios raw{};
        tcgetattr(slave_, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave_, TCSANOW, &raw);
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair() {
        CloseMaster();
        if (slave_ >= 0) {
            close(slave_);
        }
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return slavePath_; }

    // The far end hangs up, as when a converter is pulled out.
    void CloseMaster() {
        if (master_ >= 0) {
            close(master_);
            master_ = -1;
        }
    }

    void Send(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }

    // Everything that arrives until `quietMs` pass without a byte, or until
    // `totalMs` have passed.
    std::string ReceiveUntilQuiet(int quietMs, int totalMs = 5000) {
        std::string received;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(totalMs);
        while (std::chrono::steady_clock::now() < end) {
            std::string chunk = ReceiveSome(quietMs);
            if (chunk.empty()) {
                break;
            }
            received += chunk;
        }
        return received;
    }

    // Waits until the received text ends with `ending` (or contains it).
    std::string ReceiveUntil(const std::string& ending, int totalMs = 3000) {
        std::string received;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(totalMs);
        while (std::chrono::steady_clock::now() < end &&
               received.find(ending) == std::string::npos) {
            received += ReceiveSome(20);
        }
        return received;
    }

    std::string ReceiveSome(int timeoutMs) {
        pollfd pfd{master_, POLLIN, 0};
        if (poll(&pfd, 1, timeoutMs) <= 0) {
            return {};
        }
        char buffer[4096];
        ssize_t n = read(master_, buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
    }

    // The line speed the library programmed on the slave.
    int SlaveBaud() const {
        termios settings{};
        tcgetattr(slave_, &settings);
        return BaudOfSpeed(cfgetospeed(&settings));
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace qeltest
