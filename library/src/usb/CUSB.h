// The transport through an FTDI USB serial converter, driven directly by
// FTDI's D2XX library (loaded at run time, see UsbModule.h) instead of a
// serial device. "device" picks the converter by its 1-based number in the
// module's list. Reads and writes are synchronous D2XX calls on the caller's
// thread; the transport has no threads of its own.
#pragma once

#include <memory>
#include <string>

#include "transport/CInterfejs.h"
#include "usb/D2xxApi.h"
#include "usb/parametry_USB.h"

namespace qel {

class D2xxLibrary;

class CUSB : public CInterfejs {
public:
    CUSB();
    ~CUSB() override;
    CUSB(const CUSB&) = delete;
    CUSB& operator=(const CUSB&) = delete;

    bool ApplyBaud(bool accepted) override;
    bool ApplyParity(bool accepted) override;
    bool SetParam(const char* key, const char* value) override;
    // "count": converters in the list; "active": the number the last Open
    // chose, "0" before any. Both "?" without a list.
    const char* GetParam(const char* key) override;
    bool Open() override;
    bool Close() override;
    bool IsOpen() override;
    bool Write(std::string data) override;
    // Hands over what has come, at most `count` and at most 1000 bytes,
    // as soon as anything has; on a silent line waits up to 100 ms (or what
    // SetReadTimeout set). True when at least one byte came.
    bool Read(std::string& out, int32_t& count) override;
    bool SetReadTimeout(int32_t ms) override;

private:
    bool Configure();
    bool ApplyDataCharacteristics();
    bool Succeeded(d2xx::FT_STATUS status, const char* step);
    bool SelectDevice(const char* value);
    std::string ConverterName() const;

    int32_t selectedIndex_ = -1;
    int32_t activeIndex_ = -1;
    d2xx::FT_HANDLE handle_ = nullptr;
    parametry_USB device_;
    bool open_ = false;
    uint8_t dataBits_ = 8;
    uint32_t readWaitMs_ = 100;
    // Held while a converter is open, so that it can always be closed.
    std::shared_ptr<const D2xxLibrary> library_;
};

// Loads the D2XX library if needed and lists the converters anew.
void LoadUsbLibrary();
// Drops the converter list and unloads the D2XX library.
void ReleaseUsbLibrary();

}  // namespace qel
