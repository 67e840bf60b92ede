#include "core/CVESKDevice.h"

#include <cstring>

#include "core/FirmwareFile.h"
#include "core/ListenerPhases.h"
#include "core/TransportFactory.h"
#include "core/WatcherThread.h"
#include "ethernet/WatekFirmTibbo.h"
#include "text/TextUtil.h"
#include "transport/CPustyInterfejs.h"
#include "usb/CUSB.h"
#include "wifi/WiFiModule.h"

namespace qel {
namespace {

using qelscale::kConnectionUsb;
using qelscale::kFirmwareComplete;
using qelscale::kFirmwareLineRefusedTwice;
using qelscale::kFirmwareLineUnanswered;
using qelscale::kFirmwareUnexpectedReply;

}  // namespace

CVESKDevice::CVESKDevice() : transport_(std::make_unique<CPustyInterfejs>()) {}

CVESKDevice::~CVESKDevice() {
    StopListener();
    Disconnect();
    // The old transport must be closed before the D2XX library goes away.
    DestroyTransport();
    ReleaseUsb();
}

void CVESKDevice::Release() {
    if (OnListenerThread()) {
        // Inside a callback: the handler that called it still runs on this
        // object. The dialogue ends, and the listener destroys the object
        // once the handler has returned.
        listener_->Terminate();
        listener_->ReleaseDeviceAtEnd();
        return;
    }
    CompleteRelease();
}

void CVESKDevice::CompleteRelease() {
    // A module firmware load calls back until it ends, and its callback may
    // use this object: it ends while the whole object still stands.
    AbandonModuleFirmwareUpdate(transport_.get());
    delete this;
}

// Only what this object loaded is released: the kind USB it starts with
// loads nothing.
void CVESKDevice::ReleaseUsb() {
    if (usbLoaded_) {
        ReleaseUsbLibrary();
        usbLoaded_ = false;
    }
}

void CVESKDevice::DestroyTransport() {
    // The listener reads from the transport: it must be over first.
    StopListener();
    wifi_.reset();
    transport_.reset();
}

void CVESKDevice::SetConnectionKind(int32_t kind) {
    DestroyTransport();
    ReleaseUsb();
    connectFailure_ = Failure();  // a reason belongs to the transport it came from
    connectionKind_ = kind;
    if (kind == kConnectionUsb) {
        LoadUsbLibrary();
        usbLoaded_ = true;
    }
    UseTransport(CreateTransport(kind));
}

void CVESKDevice::UseTransport(std::unique_ptr<CInterfejs> transport) {
    DestroyTransport();
    transport_ = std::move(transport);
}

bool CVESKDevice::SetParameter(const char* key, const char* value) {
    return transport_ && transport_->SetParam(key, value);
}

const char* CVESKDevice::GetParameter(const char* key) {
    if (key != nullptr && std::strcmp(key, "error") == 0) {
        errorText_ = connectFailure_.Text();
        return errorText_.c_str();
    }
    if (key != nullptr && std::strcmp(key, "ConnectionKind") == 0) {
        switch (connectionKind_) {
            case qelscale::kConnectionSerial:
                return "RS232";
            case kConnectionUsb:
                return "USB";
            case qelscale::kConnectionEthernet:
                return "ETH";
            default:
                return nullptr;
        }
    }
    return transport_ ? transport_->GetParam(key) : nullptr;
}

bool CVESKDevice::Connect() {
    if (!transport_) {
        connectFailure_ =
            Failure(FailureCode::kInvalid, "connection kind " + FormatInt(connectionKind_) +
                                               ": not 0 (RS232), 1 (USB) or 2 (ETH)");
        TraceFailure("connect", connectFailure_);
        return false;
    }
    if (!transport_->Open()) {
        connectFailure_ = transport_->LastFailure();
        if (!connectFailure_.Failed()) {
            connectFailure_ = Failure(FailureCode::kOther, "the connection could not be opened");
        }
        return false;
    }
    connectFailure_ = Failure();
    wifi_ = std::make_unique<WiFiModule>(transport_.get());
    return true;
}

bool CVESKDevice::Disconnect() {
    if (!transport_ || !transport_->IsOpen()) {
        return true;
    }
    if (!transport_->Close()) {
        return false;
    }
    wifi_.reset();
    return true;
}

bool CVESKDevice::SendSJ(int32_t timeoutMs) {
    return SendExpect("SJ\r\n", "MJ\r\n", timeoutMs);
}

bool CVESKDevice::StopListener() {
    if (listener_) {
        listener_->Terminate();
        if (listener_->IsListenerThread()) {
            // Called from a callback: the listener ends once the callback
            // returns; it is freed by the next dialogue or the destructor.
            return true;
        }
        // Join before the pointer changes: the listener reads it (Phase).
        listener_->WaitFor();
        listener_.reset();
    }
    return true;
}

bool CVESKDevice::Send(const std::string& text) {
    return transport_ && transport_->Write(text);
}

bool CVESKDevice::SendExpect(const std::string& command, const std::string& expected,
                             int32_t timeoutMs) {
    return transport_ &&
           transport_->WriteExpect(command, expected, static_cast<uint32_t>(timeoutMs));
}

bool CVESKDevice::SendCollect(std::string& text, int32_t count, int32_t timeoutMs) {
    return transport_ && transport_->WriteRead(text, count, static_cast<uint32_t>(timeoutMs));
}

bool CVESKDevice::SendAndListen(int32_t phase, const std::string& command, int32_t timeoutMs) {
    if (OnListenerThread()) {
        return false;
    }
    bool resume = false;
    int32_t resumePhase = 0;
    if (listener_) {
        listener_->Terminate();
        listener_->WaitFor();  // before the pointer changes: the listener reads it
        // Only a listener that was still listening is carried on: one whose
        // dialogue is over (an "SI" that got its reply) stays over.
        if (listener_->TimeoutMs() == 0 && !listener_->EndedByItself()) {
            resume = true;
            resumePhase = listener_->Phase();
        }
        listener_.reset();
    }
    if (!transport_) {
        return false;
    }
    // The old listener is over: whatever it left unread (a line sent twice,
    // answers to a dialogue that was cut short) belongs to no one now.
    transport_->DiscardInput();
    transport_->Write(command);
    listener_ = std::make_unique<WatcherThread>(transport_.get(), this, phase, resume, resumePhase);
    listener_->Start(timeoutMs);
    return true;
}

bool CVESKDevice::OnListenerThread() const {
    return listener_ && listener_->IsListenerThread();
}

bool CVESKDevice::IsListening() const {
    return listener_ && !listener_->Finished();
}

int32_t CVESKDevice::Phase() const {
    return listener_ ? listener_->Phase() : -1;
}

void CVESKDevice::SetPhase(int32_t phase) {
    if (listener_) {
        listener_->SetPhase(phase);
    }
}

bool CVESKDevice::UpdateFirmware(const char* path, bool sendStartCommand, bool ethernetModule,
                                 ProgressCallback onProgress, StatusCallback onStatus) {
    if (ethernetModule) {
        return StartModuleFirmwareUpdate(path, transport_.get(), onProgress, onStatus);
    }
    std::vector<std::string> lines = ReadFirmwareLines(path == nullptr ? "" : path);
    if (lines.empty()) {
        return false;
    }
    if (OnListenerThread()) {
        return false;  // inside a callback: the upload there cannot be stopped and awaited
    }
    if (IsFirmwarePhase(Phase())) {
        // A running upload still uses the lines, the index and the callbacks.
        StopListener();
    }
    firmwareProgress_ = onProgress;
    firmwareStatus_ = onStatus;
    firmwareLineIndex_ = -1;
    firmwareLines_ = std::move(lines);
    if (sendStartCommand) {
        return SendAndListen(kStartSent, "Sfirmwupd\r\n", 1000);
    }
    firmwareLineIndex_ = 0;
    return SendAndListen(kLineSentOnce, firmwareLines_[0] + "\r\n", 200);
}

bool CVESKDevice::HandleLine(const std::string& line, int32_t& remainingMs) {
    if (!IsFirmwarePhase(Phase())) {
        return true;  // no dialogue of ours: the first line ends the listener
    }
    remainingMs = 200;
    if (ContainsNoCase(line, "f3")) {
        return FinishFirmwareUpdate(kFirmwareComplete);
    }
    if (ContainsNoCase(line, "f1")) {
        return SendNextFirmwareLine();
    }
    if (ContainsNoCase(line, "f2")) {
        return ResendFirmwareLine();
    }
    if (ContainsNoCase(line, "Mfirmwupd\r\n")) {
        remainingMs = 1000;
        if (SetParameter("baud", "115200")) {
            return SendNextFirmwareLine();
        }
        return FinishFirmwareUpdate(kFirmwareUnexpectedReply);
    }
    return FinishFirmwareUpdate(kFirmwareUnexpectedReply);
}

void CVESKDevice::HandleTimeout(int32_t& remainingMs) {
    switch (Phase()) {
        case kStartSent:
            remainingMs = 1500;
            SetPhase(kStartRepeated);
            Send("Sfirmwupd\r\n");
            break;
        case kStartRepeated:
            if (SetParameter("baud", "115200")) {
                remainingMs = 1000;
                SendNextFirmwareLine();
            } else {
                FinishFirmwareUpdate(kFirmwareUnexpectedReply);
            }
            break;
        case kLineSentOnce:
            remainingMs = 200;
            ResendFirmwareLine();
            break;
        case kLineSentTwice:
            FinishFirmwareUpdate(kFirmwareLineUnanswered);
            break;
        case kAllLinesSent:
            FinishFirmwareUpdate(kFirmwareComplete);
            break;
        default:
            break;
    }
}

bool CVESKDevice::SendNextFirmwareLine() {
    if (Phase() == kAllLinesSent) {
        // A further "f1" after the last line: nothing is left to send; the
        // scale's "f3" or its silence completes the upload.
        return false;
    }
    SetPhase(kLineSentOnce);
    ++firmwareLineIndex_;
    const auto lineCount = static_cast<int32_t>(firmwareLines_.size());
    if (firmwareLineIndex_ >= lineCount) {
        SetPhase(kAllLinesSent);
        return false;
    }
    Send(firmwareLines_[static_cast<size_t>(firmwareLineIndex_)] + "\r\n");
    if (firmwareProgress_ != nullptr) {
        firmwareProgress_(static_cast<double>(firmwareLineIndex_) / lineCount);
    }
    return false;
}

bool CVESKDevice::ResendFirmwareLine() {
    if (Phase() == kLineSentTwice) {
        return FinishFirmwareUpdate(kFirmwareLineRefusedTwice);
    }
    SetPhase(kLineSentTwice);
    const auto index = static_cast<size_t>(firmwareLineIndex_);
    if (index < firmwareLines_.size()) {
        Send(firmwareLines_[index] + "\r\n");
    }
    return false;
}

bool CVESKDevice::FinishFirmwareUpdate(int32_t status) {
    firmwareLines_.clear();
    firmwareLines_.shrink_to_fit();
    if (firmwareStatus_ != nullptr) {
        firmwareStatus_(status);
    }
    return true;
}

}  // namespace qel
