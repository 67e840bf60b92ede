// The transport on a serial line. "COM" names the port: a number n means
// /dev/ttyS{n-1}; a text starting with "/" is a device path (/dev/ttyUSB0,
// /dev/serial/by-id/..., a pseudo-terminal).
#pragma once

#include <memory>
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

    const std::string& PortPath() const { return portPath_; }

private:
    bool ApplyLineSettings(bool accepted);
    LineSettings CurrentSettings() const;
    bool SetPort(const char* value);

    std::unique_ptr<SerialDevice> device_;
    std::unique_ptr<TWatekOdbierania> receiver_;
    std::unique_ptr<TWatekWysylania> sender_;
    bool open_ = false;
    int32_t dataBits_ = 8;
    std::string portPath_ = "/dev/ttyS0";
};

}  // namespace qel
