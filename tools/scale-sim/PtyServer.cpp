#include "PtyServer.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "SerialSpeed.h"

namespace scalesim {

namespace {

constexpr auto kHangUpGrace = std::chrono::seconds(2);
constexpr auto kHangUpPoll = std::chrono::milliseconds(5);

}  // namespace

std::unique_ptr<PtyServer> PtyServer::Open(const DeviceSetup& setup, const std::string& linkPath,
                                           std::string& error) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        if (master >= 0) {
            close(master);
        }
        return nullptr;
    }
    const char* name = ptsname(master);
    const std::string slavePath = name ? name : "";
    const int slave = slavePath.empty()
                          ? -1
                          : open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios settings{};
    if (slave < 0 || tcgetattr(slave, &settings) != 0) {
        error = "cannot open the pseudo-terminal's slave " + slavePath;
        close(master);
        if (slave >= 0) {
            close(slave);
        }
        return nullptr;
    }
    // A serial port as a scale program expects it: raw bytes at the scale's speed.
    cfmakeraw(&settings);
    cfsetspeed(&settings, SpeedFromBaud(setup.scale->baud));
    tcsetattr(slave, TCSANOW, &settings);

    std::unique_ptr<PtyServer> server(new PtyServer(setup, master, slave, slavePath));
    if (!linkPath.empty()) {
        struct stat existing {};
        if (lstat(linkPath.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) {
            unlink(linkPath.c_str());  // a link left behind by an earlier run
        }
        if (symlink(slavePath.c_str(), linkPath.c_str()) != 0) {
            error = "cannot create the link " + linkPath + ": " + std::strerror(errno);
            return nullptr;
        }
        server->linkPath_ = linkPath;
    }
    return server;
}

PtyServer::PtyServer(const DeviceSetup& setup, int master, int slave, std::string slavePath)
    : master_(master),
      slave_(slave),
      slavePath_(std::move(slavePath)),
      scaleBaud_(setup.scale->baud),
      conversation_(setup, "pty") {}

PtyServer::~PtyServer() {
    HangUp();
}

void PtyServer::RemoveLink() {
    if (linkPath_.empty()) {
        return;
    }
    char target[4096];
    const ssize_t length = readlink(linkPath_.c_str(), target, sizeof target - 1);
    if (length > 0 && slavePath_ == std::string(target, static_cast<std::size_t>(length))) {
        unlink(linkPath_.c_str());
    }
    linkPath_.clear();
}

void PtyServer::HangUp() {
    RemoveLink();
    if (master_ >= 0) {
        close(master_);
        close(slave_);
        master_ = -1;
        slave_ = -1;
    }
}

void PtyServer::AddPollFds(std::vector<pollfd>& fds) {
    fds.push_back({master_, static_cast<short>(POLLIN | (wantWrite_ ? POLLOUT : 0)), 0});
}

void PtyServer::Process(const pollfd* fds, Clock::time_point now) {
    if (master_ < 0) {
        return;
    }
    if (hangUpBy_) {
        FinishHangUp(now);
        return;
    }
    if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) {
        ReadAvailable(now);
    }
    FlushOutput(now);
}

void PtyServer::ReadAvailable(Clock::time_point now) {
    char buffer[4096];
    for (;;) {
        const ssize_t count = read(master_, buffer, sizeof buffer);
        if (count <= 0) {
            return;
        }
        // The speed the program applied to its end of the terminal decides whether the
        // scale can make sense of the bytes. A pseudo-terminal keeps the speed but drops
        // parity, so a parity bit is counted only when the scale itself uses one.
        termios settings{};
        LineState line;
        line.baud = -1;  // a speed the scale cannot have
        int bitsPerByte = 10;
        if (tcgetattr(slave_, &settings) == 0) {
            const int baud = BaudFromSpeed(cfgetospeed(&settings));
            line.baud = baud > 0 ? baud : -1;
            if (settings.c_cflag & PARENB) {
                line.parity = (settings.c_cflag & PARODD) ? 'O' : 'E';
            }
            bitsPerByte = FrameBits(settings);
        }
        if (line.parity == 0 && conversation_.Model().CurrentParity() != 'N') {
            bitsPerByte = std::max(bitsPerByte, 11);
        }
        conversation_.Receive(std::string_view(buffer, static_cast<std::size_t>(count)), line,
                              ByteTime(line.baud > 0 ? line.baud : scaleBaud_, bitsPerByte), now);
    }
}

void PtyServer::FlushOutput(Clock::time_point now) {
    const auto state = conversation_.Flush(now, [this](const char* data, std::size_t size) {
        const ssize_t written = write(master_, data, size);
        if (written < 0) {
            return (errno == EAGAIN || errno == EINTR) ? 0L : -1L;
        }
        return static_cast<long>(written);
    });
    wantWrite_ = state == OutputQueue::State::Blocked;
    if (state == OutputQueue::State::Failed) {
        HangUp();
    } else if (state == OutputQueue::State::HangUp) {
        hangUpBy_ = now + kHangUpGrace;
    }
}

// Closing the master discards what the program has not read yet; a line that drops
// delivers what was already sent, so the hang-up waits until that has been read.
void PtyServer::FinishHangUp(Clock::time_point now) {
    int unread = 0;
    if (ioctl(slave_, FIONREAD, &unread) != 0 || unread == 0 || now >= *hangUpBy_) {
        HangUp();
    }
}

std::optional<Clock::time_point> PtyServer::NextDeadline() const {
    if (master_ < 0 || wantWrite_) {
        return std::nullopt;
    }
    if (hangUpBy_) {
        return Clock::now() + kHangUpPoll;
    }
    return conversation_.NextDue();
}

}  // namespace scalesim
