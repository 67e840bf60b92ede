// The part of FTDI's D2XX interface this library uses, declared from FTDI's
// published programmer's guide: status codes, the device list node and the
// signatures of the functions looked up in the loaded library.
//
// On Linux D2XX's DWORD and ULONG are 32 bits wide and its functions use the
// plain C calling convention; FT_HANDLE is an opaque pointer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace qel::d2xx {

using FT_HANDLE = void*;
using FT_STATUS = std::uint32_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using UCHAR = std::uint8_t;
using WORD = std::uint16_t;

enum Status : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_INVALID_ARGS = 16,
    FT_NOT_SUPPORTED = 17,
    FT_OTHER_ERROR = 18,
    FT_DEVICE_LIST_NOT_READY = 19,
};

// FT_SetDataCharacteristics codes.
inline constexpr UCHAR FT_BITS_8 = 8;
inline constexpr UCHAR FT_BITS_7 = 7;
inline constexpr UCHAR FT_STOP_BITS_1 = 0;
inline constexpr UCHAR FT_STOP_BITS_2 = 2;
inline constexpr UCHAR FT_PARITY_NONE = 0;
inline constexpr UCHAR FT_PARITY_ODD = 1;
inline constexpr UCHAR FT_PARITY_EVEN = 2;

// One entry of FT_GetDeviceInfoList. 100 bytes where pointers have 32 bits,
// 104 with 64-bit pointers.
struct FT_DEVICE_LIST_INFO_NODE {
    ULONG Flags;
    ULONG Type;
    ULONG ID;  // vendor ID in the high 16 bits, product ID in the low ones
    DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

// The library hands D2XX an array of these nodes and D2XX fills it by its own
// layout, so ours must match FTDI's to the byte: four 32-bit numbers, the two
// texts, then the handle at the next pointer boundary.
static_assert(sizeof(DWORD) == 4 && sizeof(ULONG) == 4, "D2XX's DWORD and ULONG are 32 bits");
static_assert(sizeof(FT_STATUS) == sizeof(ULONG), "FT_STATUS is a ULONG");
static_assert(std::is_pointer_v<FT_HANDLE>, "FT_HANDLE is a pointer");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Flags) == 0);
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Type) == 4);
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, ID) == 8);
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, LocId) == 12);
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, SerialNumber) == 16);
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Description) == 32);
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, ftHandle) == 96);
static_assert(sizeof(FT_DEVICE_LIST_INFO_NODE) == (sizeof(void*) == 8 ? 104 : 100),
              "FTDI's node is 104 bytes with 64-bit pointers, 100 with 32-bit ones");

extern "C" {
using FT_CreateDeviceInfoList_t = FT_STATUS (*)(DWORD* numDevs);
using FT_GetDeviceInfoList_t = FT_STATUS (*)(FT_DEVICE_LIST_INFO_NODE* dest, DWORD* numDevs);
using FT_Reload_t = FT_STATUS (*)(WORD vid, WORD pid);
using FT_Open_t = FT_STATUS (*)(int deviceNumber, FT_HANDLE* handle);
using FT_Close_t = FT_STATUS (*)(FT_HANDLE handle);
using FT_SetTimeouts_t = FT_STATUS (*)(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs);
using FT_SetDataCharacteristics_t = FT_STATUS (*)(FT_HANDLE handle, UCHAR wordLength,
                                                  UCHAR stopBits, UCHAR parity);
using FT_SetBaudRate_t = FT_STATUS (*)(FT_HANDLE handle, ULONG baudRate);
using FT_Read_t = FT_STATUS (*)(FT_HANDLE handle, void* buffer, DWORD bytesToRead,
                                DWORD* bytesReturned);
using FT_Write_t = FT_STATUS (*)(FT_HANDLE handle, void* buffer, DWORD bytesToWrite,
                                 DWORD* bytesWritten);
using FT_SetLatencyTimer_t = FT_STATUS (*)(FT_HANDLE handle, UCHAR latencyMs);
}

}  // namespace qel::d2xx
