#include "platform/SerialDevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

#include "QELScale.h"
#include "platform/Clock.h"
#include "platform/PortHolder.h"
#include "posix/SerialTermios.h"

namespace qel {
namespace {

// A line in use is worth a pid: the operator can close that program.
Failure BusyFailure(const std::string& path) {
    std::string detail = path + ": in use by another program";
    if (std::optional<int64_t> holder = FindPortHolder(path)) {
        detail += " (process " + std::to_string(*holder) + ")";
    }
    return Failure(FailureCode::kBusy, std::move(detail));
}

Failure OpenFailure(const std::string& path, int systemError) {
    if (systemError == EBUSY || systemError == EWOULDBLOCK) {
        return BusyFailure(path);
    }
    return SystemFailure(systemError, path);
}

// USB serial drivers hold short replies for their latency timer (16 ms by
// default); low latency asks them not to. Not every driver supports it.
void RequestLowLatency(int fd) {
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ioctl(fd, TIOCSSERIAL, &serial);
    }
}

}  // namespace

speed_t BaudConstant(int baud) {
    using qelscale::kBaudRates;
    // The termios speed of each accepted rate, in the rates' order.
    static constexpr speed_t kSpeeds[] = {B1200,  B2400,  B4800,  B9600,
                                          B19200, B38400, B57600, B115200};
    static_assert(std::size(kSpeeds) == std::size(kBaudRates));
    const auto* rate = std::find(std::begin(kBaudRates), std::end(kBaudRates), baud);
    return rate == std::end(kBaudRates) ? B0 : kSpeeds[rate - std::begin(kBaudRates)];
}

void BuildTermios(termios& settings, const LineSettings& line) {
    cfmakeraw(&settings);
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    settings.c_cflag |= CLOCAL | CREAD | (line.dataBits == 7 ? CS7 : CS8);
    if (line.parity == 'E') {
        settings.c_cflag |= PARENB;
    } else if (line.parity == 'O') {
        settings.c_cflag |= PARENB | PARODD;
    }
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    speed_t speed = BaudConstant(line.baud);
    if (speed != B0) {
        cfsetispeed(&settings, speed);
        cfsetospeed(&settings, speed);
    }
}

Outcome<std::unique_ptr<SerialDevice>> SerialDevice::Open(const std::string& path,
                                                          const LineSettings& settings) {
    Outcome<std::unique_ptr<SerialDevice>> opened;
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        opened.failure = OpenFailure(path, errno);
        return opened;
    }
    // Two programs must never share one line. TIOCEXCL stops other openers
    // (but not root); the lock is honoured by other serial tools as well.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        opened.failure = OpenFailure(path, errno);
        ::close(fd);
        return opened;
    }
    termios current{};
    if (tcgetattr(fd, &current) != 0) {
        opened.failure = SystemFailure(errno, path);
        ::close(fd);
        return opened;
    }
    ioctl(fd, TIOCEXCL);
    RequestLowLatency(fd);
    std::unique_ptr<SerialDevice> device(new SerialDevice(fd, path));
    if (!device->Apply(settings)) {
        opened.failure = device->LastFailure();
        return opened;
    }
    tcflush(fd, TCIOFLUSH);
    opened.value = std::move(device);
    return opened;
}

SerialDevice::~SerialDevice() {
    ioctl(fd_, TIOCNXCL);
    ::close(fd_);
}

bool SerialDevice::Apply(const LineSettings& settings) {
    termios termiosSettings{};
    if (tcgetattr(fd_, &termiosSettings) != 0) {
        SetLastError("tcgetattr", errno);
        return false;
    }
    BuildTermios(termiosSettings, settings);
    if (tcsetattr(fd_, TCSANOW, &termiosSettings) != 0) {
        SetLastError("tcsetattr", errno);
        return false;
    }
    return true;
}

std::optional<LineSettings> SerialDevice::Running() {
    termios current{};
    if (tcgetattr(fd_, &current) != 0) {
        SetLastError("tcgetattr", errno);
        return std::nullopt;
    }
    LineSettings running;
    running.baud = 0;
    for (int baud : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200}) {
        if (cfgetospeed(&current) == BaudConstant(baud)) {
            running.baud = baud;
        }
    }
    const tcflag_t size = current.c_cflag & CSIZE;
    running.dataBits = size == CS8 ? 8 : size == CS7 ? 7 : 0;
    if ((current.c_cflag & PARENB) == 0) {
        running.parity = 'N';
    } else {
        running.parity = (current.c_cflag & PARODD) != 0 ? 'O' : 'E';
    }
    return running;
}

int SerialDevice::ReadSome(char* buffer, int size, int timeoutMs) {
    pollfd pfd{fd_, POLLIN, 0};
    int ready = ::poll(&pfd, 1, timeoutMs);
    if (ready == 0 || (ready < 0 && errno == EINTR)) {
        return 0;
    }
    if (ready < 0) {
        SetLastError("poll", errno);
        return -1;
    }
    ssize_t got = ::read(fd_, buffer, static_cast<size_t>(size));
    if (got > 0) {
        return static_cast<int>(got);
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
        return 0;
    }
    // Readable but nothing to read, or EIO: the other end has gone.
    if (got == 0) {
        SetLastError("read", Failure(FailureCode::kClosed, path_ + ": line hung up"));
    } else {
        SetLastError("read", errno);
    }
    return -1;
}

bool SerialDevice::WriteAll(std::string_view data, int stallTimeoutMs) {
    while (!data.empty()) {
        ssize_t sent = ::write(fd_, data.data(), data.size());
        if (sent > 0) {
            data.remove_prefix(static_cast<size_t>(sent));
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EINTR) {
            SetLastError("write", errno);
            return false;
        }
        pollfd pfd{fd_, POLLOUT, 0};
        int ready = ::poll(&pfd, 1, stallTimeoutMs);
        if (ready == 0) {
            SetLastError("write", Failure(FailureCode::kTimeout, path_ + ": write stalled"));
            return false;
        }
        if (ready > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            SetLastError("write", Failure(FailureCode::kClosed, path_ + ": line hung up"));
            return false;
        }
    }
    return true;
}

long SerialDevice::WriteNow(std::string_view data) {
    ssize_t sent = ::write(fd_, data.data(), data.size());
    if (sent >= 0) {
        return static_cast<long>(sent);
    }
    if (errno == EAGAIN || errno == EINTR) {
        return 0;
    }
    SetLastError("write", errno);
    return -1;
}

Failure SerialDevice::LastFailure() const {
    return failure_.Get();
}

// Each system call names itself in the trace; the reason names the line.
void SerialDevice::SetLastError(const char* what, int systemError) {
    SetLastError(what, SystemFailure(systemError, path_));
}

void SerialDevice::SetLastError(const char* what, Failure failure) {
    failure_.SetUnlessSame(std::string("serial ") + what, std::move(failure));
}

void SerialDevice::DiscardInput() {
    tcflush(fd_, TCIFLUSH);
}

}  // namespace qel
