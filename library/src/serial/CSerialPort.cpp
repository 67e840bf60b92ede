#include "serial/CSerialPort.h"

#include <chrono>
#include <cstring>

#include "serial/TWatekOdbierania.h"
#include "serial/TWatekWysylania.h"
#include "text/TextUtil.h"

namespace qel {
namespace {

constexpr auto kReadWait = std::chrono::milliseconds(100);

bool Is(const char* key, const char* name) {
    return std::strcmp(key, name) == 0;
}

std::string JoinLines(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items) {
        text += item;
        text += "\r\n";
    }
    return text;
}

}  // namespace

CSerialPort::CSerialPort() {
    baud_ = 9600;
    parity_ = 'N';
}

CSerialPort::~CSerialPort() {
    Close();
}

bool CSerialPort::ApplyBaud(bool accepted) {
    return ApplyLineSettings(accepted);
}

bool CSerialPort::ApplyParity(bool accepted) {
    return ApplyLineSettings(accepted);
}

LineSettings CSerialPort::CurrentSettings() const {
    return LineSettings{baud_, parity_, dataBits_};
}

// While closed a value is only recorded; on an open line the settings are
// programmed at once, and the outcome is whether the driver took them.
bool CSerialPort::ApplyLineSettings(bool accepted) {
    if (!device_) {
        return accepted;
    }
    if (!device_->Apply(CurrentSettings())) {
        Fail("serial line settings", device_->LastFailure());
        return false;
    }
    return true;
}

bool CSerialPort::SetParam(const char* key, const char* value) {
    if (key == nullptr || value == nullptr) {
        return false;
    }
    if (Is(key, "baud")) {
        int32_t baud = ParseInt32(value).value_or(0);
        return baud > 0 && SetBaud(baud);
    }
    if (Is(key, "COM")) {
        return SetPort(value);
    }
    if (Is(key, "parity")) {
        bool known = Is(value, "E") || Is(value, "O") || Is(value, "N");
        return known && SetParity(value[0]);
    }
    if (Is(key, "timeout")) {
        int32_t ms = ParseInt32(value).value_or(0);
        return ms != 0 && SetReadTimeout(ms);
    }
    if (Is(key, "bits")) {
        int32_t bits = ParseInt32(value).value_or(0);
        if (bits != 7 && bits != 8) {
            return false;
        }
        dataBits_ = bits;
        return ApplyLineSettings(true);
    }
    return false;
}

bool CSerialPort::SetPort(const char* value) {
    if (value[0] == '/') {
        portPath_ = value;
        return true;
    }
    int32_t number = ParseInt32(value).value_or(0);
    if (number == 0) {
        return false;
    }
    portPath_ = "/dev/ttyS" + FormatInt(static_cast<int64_t>(number) - 1);
    return true;
}

const char* CSerialPort::GetParam(const char* key) {
    if (key != nullptr && Is(key, "comports")) {
        return ReturnParam(JoinLines(ListSerialPorts()));
    }
    return CInterfejs::GetParam(key);
}

bool CSerialPort::Open() {
    if (open_) {
        return true;
    }
    Outcome<std::unique_ptr<SerialDevice>> opened = SerialDevice::Open(portPath_, CurrentSettings());
    if (!opened.value) {
        Fail("serial open", std::move(opened.failure));
        return false;
    }
    ClearFailure();
    device_ = std::move(opened.value);
    SetReadTimeout(10);
    receiver_ = std::make_unique<TWatekOdbierania>(*device_);
    sender_ = std::make_unique<TWatekWysylania>(*device_);
    open_ = true;
    return true;
}

bool CSerialPort::Close() {
    if (open_) {
        sender_.reset();
        receiver_.reset();
        device_->DiscardInput();
        device_.reset();
    }
    open_ = false;
    return true;
}

bool CSerialPort::IsOpen() {
    return open_;
}

bool CSerialPort::Write(std::string data) {
    if (!open_) {
        return false;
    }
    // A write starts a fresh exchange: a late reply to an earlier command
    // must not be taken for the answer to this one.
    receiver_->Clear();
    sender_->Enqueue(std::move(data));
    return true;
}

bool CSerialPort::Read(std::string& out, int32_t& count) {
    if (!open_) {
        return false;
    }
    const size_t wanted = count > 0 ? static_cast<size_t>(count) : 0;
    if (!receiver_->HasData()) {
        // Reset before looking again, so that a chunk landing in between
        // still ends the wait.
        receiver_->DataArrived().Reset();
        if (!receiver_->HasData()) {
            receiver_->DataArrived().Wait(kReadWait);
        }
    }
    out = receiver_->Take(wanted);
    const bool complete = out.size() == wanted;
    count = static_cast<int32_t>(out.size());
    return complete;
}

// The receiving thread polls in passes of at most 10 ms whatever the caller
// asks, so there is nothing to program.
bool CSerialPort::SetReadTimeout(int32_t) {
    return true;
}

}  // namespace qel
