// FTDI's D2XX library, loaded at run time. Every function is optional: one
// the installed library does not export answers FT_OTHER_ERROR, so the step
// that needs it fails like any other D2XX error and nothing else changes.
#pragma once

#include <memory>
#include <string>

#include "platform/DynamicLibrary.h"
#include "usb/D2xxApi.h"

namespace qel {

class D2xxLibrary {
public:
    // None when no D2XX library is installed, and the loader's reason:
    // "unavailable" is an ordinary state, not a fault.
    static Outcome<std::unique_ptr<D2xxLibrary>> Load();
    ~D2xxLibrary();
    D2xxLibrary(const D2xxLibrary&) = delete;
    D2xxLibrary& operator=(const D2xxLibrary&) = delete;

    d2xx::FT_STATUS CreateDeviceInfoList(d2xx::DWORD* count) const;
    d2xx::FT_STATUS GetDeviceInfoList(d2xx::FT_DEVICE_LIST_INFO_NODE* nodes,
                                      d2xx::DWORD* count) const;
    d2xx::FT_STATUS Reload(d2xx::WORD vendorId, d2xx::WORD productId) const;
    d2xx::FT_STATUS Open(int index, d2xx::FT_HANDLE* handle) const;
    d2xx::FT_STATUS Close(d2xx::FT_HANDLE handle) const;
    d2xx::FT_STATUS SetTimeouts(d2xx::FT_HANDLE handle, d2xx::ULONG readMs,
                                d2xx::ULONG writeMs) const;
    d2xx::FT_STATUS SetDataCharacteristics(d2xx::FT_HANDLE handle, d2xx::UCHAR dataBits,
                                           d2xx::UCHAR stopBits, d2xx::UCHAR parity) const;
    d2xx::FT_STATUS SetBaudRate(d2xx::FT_HANDLE handle, d2xx::ULONG baud) const;
    d2xx::FT_STATUS Read(d2xx::FT_HANDLE handle, void* buffer, d2xx::DWORD wanted,
                         d2xx::DWORD* received) const;
    d2xx::FT_STATUS Write(d2xx::FT_HANDLE handle, const void* buffer, d2xx::DWORD count,
                          d2xx::DWORD* written) const;
    d2xx::FT_STATUS SetLatencyTimer(d2xx::FT_HANDLE handle, d2xx::UCHAR ms) const;

private:
    explicit D2xxLibrary(std::unique_ptr<DynamicLibrary> library);

    template <typename Function>
    Function Find(const char* name) const {
        return reinterpret_cast<Function>(library_->Symbol(name));
    }

    std::unique_ptr<DynamicLibrary> library_;
    d2xx::FT_CreateDeviceInfoList_t createDeviceInfoList_;
    d2xx::FT_GetDeviceInfoList_t getDeviceInfoList_;
    d2xx::FT_Reload_t reload_;
    d2xx::FT_Open_t open_;
    d2xx::FT_Close_t close_;
    d2xx::FT_SetTimeouts_t setTimeouts_;
    d2xx::FT_SetDataCharacteristics_t setDataCharacteristics_;
    d2xx::FT_SetBaudRate_t setBaudRate_;
    d2xx::FT_Read_t read_;
    d2xx::FT_Write_t write_;
    d2xx::FT_SetLatencyTimer_t setLatencyTimer_;
};

}  // namespace qel
