#include "core/CVESKScale.h"

#include <cmath>
#include <stdexcept>
#include <string_view>

#include "core/AlibiRecordParser.h"
#include "core/ListenerPhases.h"
#include "text/TextUtil.h"
#include "wifi/WiFiModule.h"

namespace qel {
namespace {

using qelscale::kAlibiHeaderReceived;
using qelscale::kAlibiNoAnswer;
using qelscale::kAlibiRecordsStored;

constexpr int32_t kAlibiBudgetMs = 200;

std::string_view WithoutLineEnd(std::string_view line) {
    if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\n") {
        line.remove_suffix(2);
    }
    return line;
}

// An identity line is "label:value"; the value is kept as sent, blanks
// included. A line without a colon is kept whole.
std::string IdentityValue(std::string_view line) {
    line = WithoutLineEnd(line);
    size_t colon = line.find(':');
    return std::string(colon == std::string_view::npos ? line : line.substr(colon + 1));
}

}  // namespace

CVESKScale::~CVESKScale() {
    // The listener calls into this object: it must be gone before anything
    // of it is freed.
    StopListener();
}

// ---- identity -------------------------------------------------------------

DeviceInfo CVESKScale::GetDeviceInfo() {
    DeviceInfo info{};
    info.type = identity_[kType].c_str();
    info.serialNumber = ParseInt32(identity_[kSerialNumber]).value_or(-1);
    info.productionDate = identity_[kProductionDate].c_str();
    info.extraText1 = nullptr;
    info.recordHeader = identity_[kRecordHeader].c_str();
    info.extraNumber = 0;
    info.extraText2 = nullptr;
    return info;
}

DeviceInfo CVESKScale::ReadSW9(int32_t timeoutMs) {
    std::string reply = "SW9\r\n";
    if (!SendCollect(reply, 190, timeoutMs)) {
        reply.clear();
    }
    std::vector<std::string> lines = SplitLines(reply);
    for (size_t i = 0; i < lines.size() && i < identity_.size(); ++i) {
        identity_[i] = std::move(lines[i]);
    }
    DeviceInfo info{};
    info.type = identity_[kType].c_str();
    info.serialNumber = ParseInt32(identity_[kSerialNumber]).value_or(0);
    info.productionDate = identity_[kProductionDate].c_str();
    info.extraText1 = identity_[kText4].c_str();
    info.recordHeader = identity_[kRecordHeader].c_str();
    info.extraNumber = ParseInt32(identity_[kText6]).value_or(0);
    info.extraText2 = identity_[kText7].c_str();
    return info;
}

// ---- alibi memory ---------------------------------------------------------

void CVESKScale::StopAlibiListener() {
    // A read still running appends to the list and calls the callbacks that
    // are about to be replaced.
    if (IsAlibiPhase(Phase())) {
        StopListener();
    }
}

bool CVESKScale::StartAlibiRead(ProgressCallback onProgress, StatusCallback onStatus) {
    if (OnListenerThread()) {
        return false;  // a callback cannot wait for its own dialogue to end
    }
    StopAlibiListener();
    onProgress_ = onProgress;
    onStatus_ = onStatus;
    retried_ = false;
    endAfterRecord_ = 0;
    recordLines_.clear();
    recordLines_.shrink_to_fit();
    return SendAndListen(kPhaseTransferAnnounced, "Salibitrn\r\n", kAlibiBudgetMs);
}

int64_t CVESKScale::GetAlibiRecordCount() {
    return recordCount_;
}

AlibiRecord CVESKScale::GetAlibiRecord(int64_t index) {
    if (index < 1 || static_cast<uint64_t>(index) > recordLines_.size()) {
        throw std::out_of_range("List index out of bounds (" + FormatInt(index) + ")");
    }
    const std::string& line = recordLines_[static_cast<size_t>(index - 1)];
    return ParseAlibiRecord(line, fieldSlots_,
                            [this](const std::string& unit) { return UnitCode(unit.c_str()); });
}

int64_t CVESKScale::GetAlibiLineCount() {
    return static_cast<int64_t>(recordLines_.size());
}

const char* CVESKScale::GetAlibiRecordLine(int64_t index) {
    if (index < 1 || index > GetAlibiLineCount()) {
        return nullptr;
    }
    recordLineSlot_ = recordLines_[static_cast<size_t>(index - 1)];
    return recordLineSlot_.c_str();
}

bool CVESKScale::EndAlibiReadAfter(int64_t recordId) {
    if (recordId < 0) {
        return false;
    }
    endAfterRecord_ = recordId;
    return true;
}

bool CVESKScale::HandleAlibiLine(const std::string& line, int32_t& remainingMs) {
    remainingMs = kAlibiBudgetMs;
    retried_ = false;
    switch (Phase()) {
        case kPhaseTransferAnnounced:
            SwitchToTransferSpeed();
            return false;
        case kPhaseType:
            identity_[kType] = IdentityValue(line);
            SetPhase(kPhaseSerialNumber);
            return false;
        case kPhaseSerialNumber:
            identity_[kSerialNumber] = IdentityValue(line);
            SetPhase(kPhaseProductionDate);
            return false;
        case kPhaseProductionDate:
            identity_[kProductionDate] = IdentityValue(line);
            SetPhase(kPhaseCount);
            return false;
        case kPhaseCount: {
            auto count = ParseInt32(IdentityValue(line));
            if (!count) {
                throw std::invalid_argument("'" + IdentityValue(line) + "' is not a valid integer");
            }
            recordCount_ = *count;
            SetPhase(kPhaseHeader);
            return false;
        }
        case kPhaseHeader:
            identity_[kRecordHeader] = line;
            if (StatusCallback onStatus = onStatus_) {
                onStatus(kAlibiHeaderReceived);
            }
            SetPhase(kPhaseRecords);
            Send("Salibinext\r\n");
            return false;
        default:
            if (ContainsNoCase(line, "Malibiprn")) {
                FinishAlibiRead();
                return true;
            }
            return HandleRecordLine(line);
    }
}

// The scale switches to the transfer speed after "Salibitrn"; so does the
// library, remembering the caller's settings for the end of the read.
void CVESKScale::SwitchToTransferSpeed() {
    // Each GetParameter answer is overwritten by the next: copy in turn.
    const char* baud = GetParameter("baud");
    savedBaud_ = baud != nullptr ? baud : "";
    const char* parity = GetParameter("parity");
    savedParity_ = parity != nullptr ? parity : "";
    SetParameter("baud", "115200");
    SetParameter("parity", "E");
    Send("Salibiprn\r\n");
    SetPhase(kPhaseType);
}

bool CVESKScale::HandleRecordLine(const std::string& line) {
    const double recordNumber = RecordNumberForProgress(line);
    if (ProgressCallback onProgress = onProgress_) {
        const double fraction =
            recordCount_ > 0 ? (static_cast<double>(recordCount_) - recordNumber) / recordCount_
                             : 0;
        onProgress(fraction);
    }
    recordLines_.push_back(line);
    if (IsEndRecord(recordNumber)) {
        // The caller holds every older record: leave the rest of the transfer unread.
        FinishAlibiRead();
        return true;
    }
    Send("Salibinext\r\n");
    return false;
}

// A record number that is no finite number never ends the read early.
bool CVESKScale::IsEndRecord(double recordNumber) const {
    const int64_t endAfter = endAfterRecord_;
    return endAfter > 0 && std::isfinite(recordNumber) &&
           recordNumber <= static_cast<double>(endAfter);
}

void CVESKScale::FinishAlibiRead() {
    SetParameter("baud", savedBaud_.c_str());
    SetParameter("parity", savedParity_.c_str());
    if (StatusCallback onStatus = onStatus_) {
        onStatus(kAlibiRecordsStored);
    }
}

void CVESKScale::HandleAlibiTimeout(int32_t& remainingMs) {
    switch (Phase()) {
        case kPhaseTransferAnnounced:
            remainingMs = kAlibiBudgetMs;
            if (!retried_) {
                Send("Salibitrn\r\n");
                retried_ = true;
            } else {
                SwitchToTransferSpeed();
            }
            break;
        case kPhaseType:
            if (StatusCallback onStatus = onStatus_) {
                onStatus(kAlibiNoAnswer);
            }
            break;
        case kPhaseRecords:
            Send("Salibinext\r\n");
            if (!retried_) {
                remainingMs = kAlibiBudgetMs;
                retried_ = true;
            }
            break;
        default:
            break;
    }
}

// ---- weighing commands ----------------------------------------------------

bool CVESKScale::SendST(int32_t timeoutMs) {
    return SendExpect("ST\r\n", "MT\r\n", timeoutMs);
}

bool CVESKScale::SendSZ(int32_t timeoutMs) {
    return SendExpect("SZ\r\n", "MZ\r\n", timeoutMs);
}

bool CVESKScale::SendSS(int32_t timeoutMs) {
    return SendExpect("SS\r\n", "MS\r\n", timeoutMs);
}

bool CVESKScale::SendSL(double value, int32_t timeoutMs) {
    return SendExpect("SL" + FormatGeneral(value) + "\r\n", "ML\r\n", timeoutMs);
}

bool CVESKScale::SendSH(double value, int32_t timeoutMs) {
    return SendExpect("SH" + FormatGeneral(value) + "\r\n", "MH\r\n", timeoutMs);
}

WeighingResult CVESKScale::ReadSx3(int32_t timeoutMs) {
    WeighingResult result{};
    std::string reply = "Sx3\r\n";
    if (!SendCollect(reply, 16, timeoutMs)) {
        reply.clear();  // a transport that cannot send leaves the command here
    }
    result.received = !reply.empty();
    result.status = ContainsNoCase(reply, "S") ? 1 : 0;
    std::string_view trimmed = Trim(reply);
    result.unit = UnitCode(std::string(trimmed).c_str());
    if (ContainsNoCase(trimmed, "H") && trimmed.size() > 3) {
        result.value = LeadingDouble(trimmed.substr(1, trimmed.size() - 3)).value_or(0);
    }
    result.noHighLow = true;
    return result;
}

bool CVESKScale::RequestSI(WeighingCallback onWeight, int32_t timeoutMs) {
    if (OnListenerThread()) {
        return false;
    }
    onWeight_ = onWeight;
    return SendAndListen(kPhaseWeighingReply, "SI\r\n", timeoutMs);
}

// "SI" reply: sign in column 1, value in columns 2 to 11, unit in 11 to 13.
bool CVESKScale::HandleWeighingLine(const std::string& line) {
    WeighingResult result{};
    result.received = true;
    result.noHighLow = !ContainsNoCase(line, "H") && !ContainsNoCase(line, "L");
    const std::string_view text(line);
    result.unit = UnitCode(std::string(text.substr(std::min<size_t>(10, text.size()), 3)).c_str());
    result.status = 1;
    result.value = LeadingDouble(text.substr(std::min<size_t>(1, text.size()), 10)).value_or(0);
    if (!text.empty() && text.front() == '-') {
        result.value = -result.value;
    }
    if (WeighingCallback onWeight = onWeight_) {
        onWeight(result);
    }
    return true;
}

int32_t CVESKScale::UnitCode(const char* text) {
    using namespace qelscale;
    // A symbol that holds a shorter one comes first, so each finds its own.
    static constexpr std::pair<std::string_view, int32_t> kUnits[] = {
        {"ct", kUnitCarat}, {"mg", kUnitMilligram},  {"kg", kUnitKilogram},
        {"lb", kUnitPound}, {"ozt", kUnitTroyOunce}, {"oz", kUnitOunce},
        {"gr", kUnitGrain}, {"g", kUnitGram},        {"dwt", kUnitPennyweight},
        {"N", kUnitNewton},
    };
    if (text == nullptr) {
        return kUnitNone;
    }
    for (const auto& [symbol, code] : kUnits) {
        if (ContainsNoCase(text, symbol)) {
            return code;
        }
    }
    return kUnitNone;
}

// ---- handlers -------------------------------------------------------------

bool CVESKScale::HandleLine(const std::string& line, int32_t& remainingMs) {
    const int32_t phase = Phase();
    if (phase == kPhaseWeighingReply) {
        return HandleWeighingLine(line);
    }
    if (IsAlibiPhase(phase)) {
        return HandleAlibiLine(line, remainingMs);
    }
    return CVESKDevice::HandleLine(line, remainingMs);
}

void CVESKScale::HandleTimeout(int32_t& remainingMs) {
    if (IsAlibiPhase(Phase())) {
        HandleAlibiTimeout(remainingMs);
        return;
    }
    CVESKDevice::HandleTimeout(remainingMs);
}

// ---- WiFi -----------------------------------------------------------------

bool CVESKScale::SetWiFiParameter(const char* key, const char* value) {
    return WiFi() != nullptr && WiFi()->Configure(key, value);
}

const char* CVESKScale::GetWiFiParameter(const char* key) {
    return WiFi() != nullptr ? WiFi()->Query(key) : nullptr;
}

}  // namespace qel
