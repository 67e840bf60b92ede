#include "platform/SerialDevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Clock.h"
#include "posix/SerialTermios.h"

namespace qel {
namespace {

std::string SystemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
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
    switch (baud) {
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
        default:
            return B0;
    }
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

std::unique_ptr<SerialDevice> SerialDevice::Open(const std::string& path,
                                                 const LineSettings& settings, std::string* error) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = SystemError(path.c_str());
        return nullptr;
    }
    // Two programs must never share one line. TIOCEXCL stops other openers
    // (but not root); the lock is honoured by other serial tools as well.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *error = SystemError("port in use");
        ::close(fd);
        return nullptr;
    }
    termios current{};
    if (tcgetattr(fd, &current) != 0) {
        *error = SystemError("not a serial line");
        ::close(fd);
        return nullptr;
    }
    ioctl(fd, TIOCEXCL);
    RequestLowLatency(fd);
    std::unique_ptr<SerialDevice> device(new SerialDevice(fd));
    if (!device->Apply(settings)) {
        *error = device->LastError();
        return nullptr;
    }
    tcflush(fd, TCIOFLUSH);
    return device;
}

SerialDevice::~SerialDevice() {
    ioctl(fd_, TIOCNXCL);
    ::close(fd_);
}

bool SerialDevice::Apply(const LineSettings& settings) {
    termios termiosSettings{};
    if (tcgetattr(fd_, &termiosSettings) != 0) {
        SetLastError(SystemError("tcgetattr"));
        return false;
    }
    BuildTermios(termiosSettings, settings);
    if (tcsetattr(fd_, TCSANOW, &termiosSettings) != 0) {
        SetLastError(SystemError("tcsetattr"));
        return false;
    }
    return true;
}

std::optional<LineSettings> SerialDevice::Running() {
    termios current{};
    if (tcgetattr(fd_, &current) != 0) {
        SetLastError(SystemError("tcgetattr"));
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
        SetLastError(SystemError("poll"));
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
    SetLastError(got == 0 ? "line hung up" : SystemError("read"));
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
            SetLastError(SystemError("write"));
            return false;
        }
        pollfd pfd{fd_, POLLOUT, 0};
        int ready = ::poll(&pfd, 1, stallTimeoutMs);
        if (ready == 0) {
            SetLastError("write stalled");
            return false;
        }
        if (ready > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            SetLastError("line hung up");
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
    SetLastError(SystemError("write"));
    return -1;
}

std::string SerialDevice::LastError() const {
    std::lock_guard lock(errorMutex_);
    return lastError_;
}

void SerialDevice::SetLastError(std::string text) {
    std::lock_guard lock(errorMutex_);
    lastError_ = std::move(text);
}

void SerialDevice::DiscardInput() {
    tcflush(fd_, TCIFLUSH);
}

}  // namespace qel
