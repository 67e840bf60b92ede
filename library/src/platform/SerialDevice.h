// The operating system's serial line, reduced to what the serial transport
// needs. The POSIX version lives in posix/; nothing else includes termios.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qel {

struct LineSettings {
    int baud = 9600;    // one of the rates of the baud table
    char parity = 'N';  // 'N', 'O' or 'E'
    int dataBits = 8;   // 7 or 8; always one stop bit
};

class SerialDevice {
public:
    // Opens `path` exclusively, in raw mode with `settings`. Null on failure,
    // with the system's reason in `error`.
    static std::unique_ptr<SerialDevice> Open(const std::string& path, const LineSettings& settings,
                                              std::string* error);
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Programs the line; true when the system took the request, which it
    // does when any part of it took (see Running).
    bool Apply(const LineSettings& settings);
    // What the line runs now, read back from the system; none when it cannot
    // be read. A speed outside the baud table reads as 0, a character size
    // other than 7 or 8 bits as 0.
    std::optional<LineSettings> Running();

    // Waits up to `timeoutMs` for input and reads what is there. Returns the
    // number of bytes read, 0 when nothing came, -1 when the line is gone
    // (device removed, pseudo-terminal closed).
    int ReadSome(char* buffer, int size, int timeoutMs);

    // Writes every byte, waiting while the driver's buffer is full; gives up
    // when the line accepts nothing for `stallTimeoutMs`.
    bool WriteAll(std::string_view data, int stallTimeoutMs);

    // Writes what the driver takes now without waiting; the number of bytes
    // written, or -1 when the line is gone.
    long WriteNow(std::string_view data);

    // Drops input the driver holds that nobody has read.
    void DiscardInput();

    // The receiving and sending threads record failures too: a copy.
    std::string LastError() const;

private:
    explicit SerialDevice(int fd) : fd_(fd) {}
    void SetLastError(std::string text);

    int fd_;
    mutable std::mutex errorMutex_;
    std::string lastError_;
};

// Serial devices present on the machine: real UARTs, USB and ACM converters;
// not virtual consoles, pseudo-terminals or UART slots with no hardware.
// Device paths, naturally sorted (ttyS2 before ttyS10).
std::vector<std::string> ListSerialPorts(const std::string& classDir = "/sys/class/tty",
                                         const std::string& devDir = "/dev");

// Compares names so that embedded numbers sort by value.
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace qel
