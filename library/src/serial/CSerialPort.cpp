#include "serial/CSerialPort.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "serial/TWatekOdbierania.h"
#include "serial/TWatekWysylania.h"
#include "text/TextUtil.h"

namespace qel {
namespace {

constexpr auto kReadWait = std::chrono::milliseconds(100);

bool SameSettings(const LineSettings& a, const LineSettings& b) {
    return a.baud == b.baud && a.parity == b.parity && a.dataBits == b.dataBits;
}

std::string SettingsText(const LineSettings& settings) {
    return FormatInt(settings.baud) + "," + std::string(1, settings.parity) + "," +
           FormatInt(settings.dataBits) + ",1";
}

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

CSerialPort::Line::~Line() {
    sender.reset();    // lets texts already handed over go out
    receiver.reset();  // before the line it reads from goes
    if (device) {
        device->DiscardInput();
    }
}

std::shared_ptr<CSerialPort::Line> CSerialPort::CurrentLine() const {
    std::lock_guard lock(lineMutex_);
    return line_;
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

// While closed a value is only recorded. On an open line the settings are
// programmed at once and read back: a driver may take part of a change (a
// pseudo-terminal keeps the speed but neither parity nor 7 bits), so the
// outcome is whether the line now runs what was asked, and what it runs is
// what GetParam reports from then on.
bool CSerialPort::ApplyLineSettings(bool accepted) {
    std::shared_ptr<Line> line = CurrentLine();
    if (!line) {
        return accepted;
    }
    const LineSettings wanted = CurrentSettings();
    if (!line->device->Apply(wanted)) {
        Fail("serial line settings", line->device->LastFailure());
    }
    std::optional<LineSettings> running = line->device->Running();
    if (!running) {
        Fail("serial line settings", line->device->LastFailure());
        return false;
    }
    if (!SameSettings(*running, wanted)) {
        Fail("serial line settings",
             Failure(FailureCode::kInvalid, PortPath() + ": the line runs " +
                                                SettingsText(*running) + ", not " +
                                                SettingsText(wanted)));
        if (running->baud != 0) {
            baud_ = running->baud;
        }
        parity_ = running->parity;
        if (running->dataBits != 0) {
            dataBits_ = running->dataBits;
        }
        return false;
    }
    return accepted;
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
    auto line = std::make_shared<Line>();
    Outcome<std::unique_ptr<SerialDevice>> opened =
        SerialDevice::Open(portPath_, CurrentSettings());
    if (!opened.value) {
        Fail("serial open", std::move(opened.failure));
        return false;
    }
    ClearFailure();
    line->device = std::move(opened.value);
    SetReadTimeout(10);
    line->receiver = std::make_unique<TWatekOdbierania>(*line->device);
    line->sender = std::make_unique<TWatekWysylania>(*line->device);
    {
        std::lock_guard lock(lineMutex_);
        line_ = std::move(line);
    }
    open_ = true;
    return true;
}

bool CSerialPort::Close() {
    std::shared_ptr<Line> line;
    {
        std::lock_guard lock(lineMutex_);
        line = std::move(line_);
        open_ = false;
    }
    if (!line) {
        return true;
    }
    // A Read on another thread may be waiting on this line: wake it, and let
    // it, and any exchange that still holds the line, let go before the line
    // is freed (and the port with it, so that it can be opened again at once).
    line->receiver->Buffer().Wake();
    while (line.use_count() > 1) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    line.reset();
    return true;
}

bool CSerialPort::IsOpen() {
    return open_;
}

bool CSerialPort::Write(std::string data) {
    std::shared_ptr<Line> line = CurrentLine();
    if (!line) {
        return false;
    }
    // A write starts a fresh exchange: a late reply to an earlier command
    // must not be taken for the answer to this one.
    line->receiver->Buffer().Clear();
    line->sender->Enqueue(std::move(data));
    return true;
}

bool CSerialPort::Read(std::string& out, int32_t& count) {
    std::shared_ptr<Line> line = CurrentLine();
    if (!line) {
        return false;
    }
    const size_t wanted = count > 0 ? static_cast<size_t>(count) : 0;
    out = line->receiver->Buffer().Take(wanted, kReadWait);
    const bool complete = out.size() == wanted;
    count = static_cast<int32_t>(out.size());
    return complete;
}

void CSerialPort::DiscardInput() {
    if (std::shared_ptr<Line> line = CurrentLine()) {
        line->receiver->Buffer().Clear();
    }
}

// The receiving thread polls in passes of at most 10 ms whatever the caller
// asks, so there is nothing to program.
bool CSerialPort::SetReadTimeout(int32_t) {
    return true;
}

}  // namespace qel
