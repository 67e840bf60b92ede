// The transport on a serial line. "COM" names the port: a number n means
// /dev/ttyS{n-1}; a text starting with "/" is a device path (/dev/ttyUSB0,
// /dev/serial/by-id/..., a pseudo-terminal).
//
// The listener reads while the caller's thread may close the line: the open
// line's parts are shared, and Close waits for a Read in progress (which it
// wakes) before it frees them.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/SerialDevice.h"
#include "transport/CInterfejs.h"

namespace qel {

class TWatekOdbierania;
class TWatekWysylania;

class CSerialPort : public CInterfejs {
public:
    CSerialPort();
    ~CSerialPort() override;

    bool ApplyBaud(bool accepted) override;
    bool ApplyParity(bool accepted) override;
    bool SetParam(const char* key, const char* value) override;
    const char* GetParam(const char* key) override;
    bool Open() override;
    bool Close() override;
    bool IsOpen() override;
    bool Write(std::string data) override;
    // Returns at once with what is buffered; waits up to 100 ms only when
    // nothing is. True when `count` bytes were taken.
    bool Read(std::string& out, int32_t& count) override;
    bool SetReadTimeout(int32_t ms) override;
    void DiscardInput() override;

    const std::string& PortPath() const { return portPath_; }

private:
    // The parts of the open line, in the order they are freed.
    struct Line {
        std::unique_ptr<SerialDevice> device;
        std::unique_ptr<TWatekOdbierania> receiver;
        std::unique_ptr<TWatekWysylania> sender;
        ~Line();
    };

    bool ApplyLineSettings(bool accepted);
    LineSettings CurrentSettings() const;
    bool SetPort(const char* value);
    std::shared_ptr<Line> CurrentLine() const;

    mutable std::mutex lineMutex_;  // line_
    std::shared_ptr<Line> line_;
    std::atomic<bool> open_{false};
    int32_t dataBits_ = 8;
    std::string portPath_ = "/dev/ttyS0";
};

}  // namespace qel
