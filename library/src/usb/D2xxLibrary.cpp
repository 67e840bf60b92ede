#include "usb/D2xxLibrary.h"

namespace qel {
namespace {

using namespace d2xx;

// A function the installed library lacks fails its step with this status.
template <typename Function, typename... Args>
FT_STATUS CallIfPresent(Function function, Args... args) {
    return function != nullptr ? function(args...) : FT_OTHER_ERROR;
}

}  // namespace

Outcome<std::unique_ptr<D2xxLibrary>> D2xxLibrary::Load() {
    Outcome<std::unique_ptr<D2xxLibrary>> loaded;
    Outcome<std::unique_ptr<DynamicLibrary>> library =
        DynamicLibrary::Load(SharedLibraryFileName("ftd2xx"));
    if (!library.value) {
        loaded.failure = std::move(library.failure);
        return loaded;
    }
    loaded.value.reset(new D2xxLibrary(std::move(library.value)));
    return loaded;
}

// The addresses are looked up once: they cannot change while the library
// stays loaded, and this object unloads it only when it goes itself.
D2xxLibrary::D2xxLibrary(std::unique_ptr<DynamicLibrary> library)
    : library_(std::move(library)),
      createDeviceInfoList_(Find<FT_CreateDeviceInfoList_t>("FT_CreateDeviceInfoList")),
      getDeviceInfoList_(Find<FT_GetDeviceInfoList_t>("FT_GetDeviceInfoList")),
      reload_(Find<FT_Reload_t>("FT_Reload")),
      open_(Find<FT_Open_t>("FT_Open")),
      close_(Find<FT_Close_t>("FT_Close")),
      setTimeouts_(Find<FT_SetTimeouts_t>("FT_SetTimeouts")),
      setDataCharacteristics_(Find<FT_SetDataCharacteristics_t>("FT_SetDataCharacteristics")),
      setBaudRate_(Find<FT_SetBaudRate_t>("FT_SetBaudRate")),
      read_(Find<FT_Read_t>("FT_Read")),
      write_(Find<FT_Write_t>("FT_Write")),
      setLatencyTimer_(Find<FT_SetLatencyTimer_t>("FT_SetLatencyTimer")) {}

D2xxLibrary::~D2xxLibrary() = default;

FT_STATUS D2xxLibrary::CreateDeviceInfoList(DWORD* count) const {
    return CallIfPresent(createDeviceInfoList_, count);
}

FT_STATUS D2xxLibrary::GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* count) const {
    return CallIfPresent(getDeviceInfoList_, nodes, count);
}

FT_STATUS D2xxLibrary::Reload(WORD vendorId, WORD productId) const {
    return CallIfPresent(reload_, vendorId, productId);
}

FT_STATUS D2xxLibrary::Open(int index, FT_HANDLE* handle) const {
    return CallIfPresent(open_, index, handle);
}

FT_STATUS D2xxLibrary::Close(FT_HANDLE handle) const {
    return CallIfPresent(close_, handle);
}

FT_STATUS D2xxLibrary::SetTimeouts(FT_HANDLE handle, ULONG readMs, ULONG writeMs) const {
    return CallIfPresent(setTimeouts_, handle, readMs, writeMs);
}

FT_STATUS D2xxLibrary::SetDataCharacteristics(FT_HANDLE handle, UCHAR dataBits, UCHAR stopBits,
                                              UCHAR parity) const {
    return CallIfPresent(setDataCharacteristics_, handle, dataBits, stopBits, parity);
}

FT_STATUS D2xxLibrary::SetBaudRate(FT_HANDLE handle, ULONG baud) const {
    return CallIfPresent(setBaudRate_, handle, baud);
}

FT_STATUS D2xxLibrary::Read(FT_HANDLE handle, void* buffer, DWORD wanted, DWORD* received) const {
    return CallIfPresent(read_, handle, buffer, wanted, received);
}

// D2XX declares the write buffer without const; it only reads from it.
FT_STATUS D2xxLibrary::Write(FT_HANDLE handle, const void* buffer, DWORD count,
                             DWORD* written) const {
    return CallIfPresent(write_, handle, const_cast<void*>(buffer), count, written);
}

FT_STATUS D2xxLibrary::SetLatencyTimer(FT_HANDLE handle, UCHAR ms) const {
    return CallIfPresent(setLatencyTimer_, handle, ms);
}

}  // namespace qel
