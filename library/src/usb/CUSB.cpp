#include "usb/CUSB.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/Clock.h"
#include "platform/DynamicLibrary.h"
#include "text/TextUtil.h"
#include "usb/D2xxLibrary.h"
#include "usb/UsbModule.h"

namespace qel {
namespace {

using namespace d2xx;

// How long a Read waits on a silent line: one pass of the exchange loops.
constexpr uint32_t kReadWaitMs = 100;
// D2XX's own read timeout. FT_Read returns only when every byte asked for
// has come or this has passed; the exchange loops ask for more than a reply
// holds, so a Read waiting in one FT_Read would hold every reply for the
// whole 100 ms. Short slices hand each reply over within a few ms.
constexpr ULONG kReadSliceMs = 5;
constexpr ULONG kOpenWriteTimeoutMs = 20;
constexpr ULONG kLaterWriteTimeoutMs = 10;
constexpr DWORD kMaxReadBytes = 1000;
// The converter otherwise holds every short reply for 16 ms before passing
// it to the host, which would cap an alibi read far below the line's speed.
constexpr UCHAR kLatencyTimerMs = 2;

void SleepUntil(int64_t deadlineMs) {
    const int64_t left = deadlineMs - TickMs();
    if (left > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(left));
    }
}

bool Is(const char* key, const char* name) {
    return std::strcmp(key, name) == 0;
}

UCHAR ParityCode(char letter) {
    switch (letter) {
        case 'O':
            return FT_PARITY_ODD;
        case 'E':
            return FT_PARITY_EVEN;
        default:
            return FT_PARITY_NONE;
    }
}

// D2XX's statuses as reasons. A converter that the kernel's ftdi_sio driver
// has claimed cannot be opened through D2XX either, which is the usual
// "busy" on Linux.
Failure D2xxFailure(FT_STATUS status, const std::string& subject, const char* step) {
    FailureCode code = FailureCode::kOther;
    const char* text = "failed";
    switch (status) {
        case FT_INVALID_HANDLE:
            code = FailureCode::kClosed;
            text = "the converter is not open";
            break;
        case FT_DEVICE_NOT_FOUND:
        case FT_DEVICE_LIST_NOT_READY:
            code = FailureCode::kNotFound;
            text = "no such converter";
            break;
        case FT_DEVICE_NOT_OPENED:
            code = FailureCode::kBusy;
            text = "in use by another program or by the ftdi_sio driver";
            break;
        case FT_IO_ERROR:
            code = FailureCode::kIo;
            text = "input/output error";
            break;
        case FT_INVALID_PARAMETER:
        case FT_INVALID_BAUD_RATE:
        case FT_INVALID_ARGS:
            code = FailureCode::kInvalid;
            text = "the converter refuses the setting";
            break;
        case FT_NOT_SUPPORTED:
            text = "not supported by the converter";
            break;
        default:
            break;
    }
    return Failure(
        code, subject + ": " + text + " (" + step + ": D2XX status " + FormatInt(status) + ")");
}

}  // namespace

CUSB::CUSB() {
    baud_ = 9600;
    parity_ = 'N';
}

CUSB::~CUSB() {
    Close();
}

bool CUSB::Succeeded(FT_STATUS status, const char* step) {
    if (status == FT_OK) {
        return true;
    }
    Fail(std::string("USB ") + step, D2xxFailure(status, ConverterName(), step));
    return false;
}

// As the program lists it, "USB1", with the serial number that tells two
// converters apart.
std::string CUSB::ConverterName() const {
    const int32_t index = activeIndex_ >= 0 ? activeIndex_ : selectedIndex_;
    std::string name = index >= 0 ? "USB" + FormatInt(index + 1) : std::string("USB");
    if (index >= 0 && index == activeIndex_ && !device_.serialNumber.empty()) {
        name += " (serial " + device_.serialNumber + ")";
    }
    return name;
}

// A refused value is not sent again: the caller asked for something the
// line does not run, and must hear so.
bool CUSB::ApplyBaud(bool accepted) {
    if (!accepted || !open_) {
        return accepted;
    }
    return Succeeded(library_->SetBaudRate(handle_, static_cast<ULONG>(baud_)), "FT_SetBaudRate");
}

bool CUSB::ApplyParity(bool accepted) {
    if (!accepted || !open_) {
        return accepted;
    }
    return ApplyDataCharacteristics();
}

bool CUSB::ApplyDataCharacteristics() {
    return Succeeded(
        library_->SetDataCharacteristics(handle_, dataBits_, FT_STOP_BITS_1, ParityCode(parity_)),
        "FT_SetDataCharacteristics");
}

bool CUSB::SetParam(const char* key, const char* value) {
    if (key == nullptr || value == nullptr) {
        return false;
    }
    if (Is(key, "baud")) {
        int32_t baud = ParseInt32(value).value_or(0);
        return baud > 0 && SetBaud(baud);
    }
    if (Is(key, "device")) {
        return SelectDevice(value);
    }
    if (Is(key, "parity")) {
        bool known = Is(value, "E") || Is(value, "O") || Is(value, "N");
        return known && SetParity(value[0]);
    }
    if (Is(key, "bits")) {
        if (!Is(value, "7") && !Is(value, "8")) {
            return false;
        }
        dataBits_ = static_cast<uint8_t>(value[0] - '0');
        return ApplyParity(true);
    }
    return false;
}

// A number the list does not hold is taken without complaint and ignored:
// the caller may offer a number from an older listing.
bool CUSB::SelectDevice(const char* value) {
    int32_t number = ParseInt32(value).value_or(0);
    auto devices = CurrentUsbModule().devices;
    if (number > 0 && devices && devices->size() >= static_cast<size_t>(number)) {
        selectedIndex_ = number - 1;
    }
    return true;
}

const char* CUSB::GetParam(const char* key) {
    if (key != nullptr && (Is(key, "count") || Is(key, "active"))) {
        auto devices = CurrentUsbModule().devices;
        if (!devices) {
            return ReturnParam("?");
        }
        int64_t number =
            Is(key, "count") ? static_cast<int64_t>(devices->size()) : activeIndex_ + 1;
        return ReturnParam(FormatInt(number));
    }
    return CInterfejs::GetParam(key);
}

bool CUSB::Open() {
    if (open_) {
        return true;
    }
    UsbModuleState module = CurrentUsbModule();
    if (!module.library) {
        Failure missing = LastUsbLoadFailure();
        if (!missing.Failed()) {
            missing =
                Failure(FailureCode::kNoLibrary, SharedLibraryFileName("ftd2xx") + ": not loaded");
        }
        Fail("USB open", std::move(missing));
        return false;
    }
    if (!module.devices) {
        Fail("USB open", Failure(FailureCode::kNotFound, ConverterName() + ": no converter found"));
        return false;
    }
    if (selectedIndex_ < 0 || static_cast<size_t>(selectedIndex_) >= module.devices->size()) {
        Fail("USB open", Failure(FailureCode::kInvalid, "USB: no converter chosen"));
        return false;
    }
    device_ = (*module.devices)[static_cast<size_t>(selectedIndex_)];
    activeIndex_ = selectedIndex_;
    FT_HANDLE handle = nullptr;
    if (!Succeeded(module.library->Open(device_.index, &handle), "FT_Open")) {
        return false;
    }
    if (handle == nullptr) {
        Fail("USB open",
             Failure(FailureCode::kOther, ConverterName() + ": FT_Open gave no handle"));
        return false;
    }
    handle_ = handle;
    library_ = std::move(module.library);
    open_ = true;
    if (!Configure()) {
        // A converter set up half-way would pass for an open line, and the
        // next Open would take it as it is.
        const Failure reason = LastFailure();
        Close();
        Fail("USB open", reason);
        return false;
    }
    ClearFailure();
    return true;
}

// The line runs the stored settings from the start, as the serial line does.
bool CUSB::Configure() {
    readWaitMs_ = kReadWaitMs;
    if (!Succeeded(library_->SetTimeouts(handle_, kReadSliceMs, kOpenWriteTimeoutMs),
                   "FT_SetTimeouts") ||
        !ApplyDataCharacteristics() || !ApplyBaud(true)) {
        return false;
    }
    // Older D2XX libraries lack the call, and a converter may refuse it; the
    // line works either way, only with longer pauses.
    library_->SetLatencyTimer(handle_, kLatencyTimerMs);
    return true;
}

bool CUSB::Close() {
    if (!open_) {
        return true;
    }
    bool closed = Succeeded(library_->Close(handle_), "FT_Close");
    open_ = false;
    handle_ = nullptr;
    library_.reset();
    return closed;
}

bool CUSB::IsOpen() {
    return open_;
}

// D2XX hands back after its write timeout with what the converter took, so
// a long text goes out over several calls; nothing is cut off.
bool CUSB::Write(std::string data) {
    if (!open_) {
        return false;
    }
    std::string_view rest = data;
    while (!rest.empty()) {
        DWORD written = 0;
        if (!Succeeded(
                library_->Write(handle_, rest.data(), static_cast<DWORD>(rest.size()), &written),
                "FT_Write")) {
            return false;
        }
        if (written == 0) {
            Fail("USB write",
                 Failure(FailureCode::kTimeout, ConverterName() + ": FT_Write took nothing"));
            return false;
        }
        rest.remove_prefix(std::min<size_t>(written, rest.size()));
    }
    return true;
}

bool CUSB::Read(std::string& out, int32_t& count) {
    out.clear();
    int32_t delivered = 0;
    if (open_ && count > 0) {
        std::array<char, kMaxReadBytes> buffer;
        const DWORD wanted = std::min(static_cast<DWORD>(count), kMaxReadBytes);
        const int64_t deadline = TickMs() + readWaitMs_;
        do {
            DWORD received = 0;
            if (!Succeeded(library_->Read(handle_, buffer.data(), wanted, &received), "FT_Read")) {
                // A converter that has gone answers at once; waiting out the
                // read time keeps the exchange loops from spinning on it.
                SleepUntil(deadline);
                break;
            }
            delivered = static_cast<int32_t>(std::min(received, wanted));
        } while (delivered == 0 && TickMs() < deadline);
        out.assign(buffer.data(), static_cast<size_t>(delivered));
    }
    count = delivered;
    return delivered > 0;
}

// `ms` is how long a Read waits on a silent line. D2XX's 0 would mean "wait
// forever", which no exchange here may do.
bool CUSB::SetReadTimeout(int32_t ms) {
    if (!open_ || ms <= 0) {
        return false;
    }
    const ULONG slice = std::min(static_cast<ULONG>(ms), kReadSliceMs);
    if (!Succeeded(library_->SetTimeouts(handle_, slice, kLaterWriteTimeoutMs), "FT_SetTimeouts")) {
        return false;
    }
    readWaitMs_ = static_cast<uint32_t>(ms);
    return true;
}

}  // namespace qel
