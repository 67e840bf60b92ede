#include "ScaleModel.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace scalesim {

namespace {

// What a scale sends when its line is disturbed: not a number, no ";", not an answer.
// A line far beyond any real one: a receiver has to drop it or bound it.
constexpr std::size_t kOversizedLineBytes = std::size_t(1) << 20;
const std::string kGarbageLine = "#?~\x7f\x15!%&\xfe*";

constexpr auto kFirmwareIdleLimit = std::chrono::seconds(10);
constexpr auto kFirmwareFinishPause = std::chrono::milliseconds(30);

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool ParseNumber(std::string_view text, double& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

bool ParsePort(std::string_view text, int& port) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, port);
    return ec == std::errc() && ptr == end && port > 0 && port <= 65535;
}

bool IsIntelHexEndRecord(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.pop_back();
    }
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text == ":00000001FF";
}

// The weight as the display shows it: fixed decimals, at most `width` characters.
bool FormatWeight(double value, int decimals, int width, std::string& text) {
    char buffer[64];
    const int length = std::snprintf(buffer, sizeof buffer, "%*.*f", width, decimals, value);
    if (length < 0 || length > width) {
        return false;
    }
    text.assign(buffer, static_cast<std::size_t>(length));
    return true;
}

std::string PadUnit(const std::string& unit) {
    std::string padded = unit.substr(0, 3);
    padded.resize(3, ' ');
    return padded;
}

}  // namespace

ScaleModel::ScaleModel(const ScaleSettings& settings, const AlibiMemory& memory,
                       const WifiSettings& wifiSettings)
    : settings_(settings), memory_(memory), wifi_(std::make_unique<WifiModule>(wifiSettings)) {}

void ScaleModel::Receive(std::string_view bytes, const LineState& line, Clock::time_point now,
                         Replies& replies) {
    while (!bytes.empty()) {
        if (mode_ == Mode::Wifi) {
            // The module owns the line until it sees ESC; what follows goes to the scale.
            const std::size_t used = wifi_->Receive(bytes, line, settings_.anyBaud, replies);
            bytes.remove_prefix(used);
            if (wifi_->HandedBack()) {
                mode_ = Mode::Commands;
                framer_.Clear();
            }
            continue;
        }
        // Feed one line at a time, so that a command switching to the module hands the
        // bytes after it to the module.
        const std::size_t lineEnd = bytes.find('\n');
        const std::size_t take = lineEnd == std::string_view::npos ? bytes.size() : lineEnd + 1;
        std::vector<LineFramer::Line> lines;
        framer_.Feed(bytes.substr(0, take), line, lines);
        bytes.remove_prefix(take);
        for (const LineFramer::Line& received : lines) {
            HandleLine(received, now, replies);
        }
    }
}

bool ScaleModel::Understood(const LineFramer::Line& line, int baud, char parity) const {
    if (line.mixedSettings) {
        return false;
    }
    if (settings_.anyBaud || line.state.baud == 0) {
        return true;
    }
    return line.state.baud == baud && (line.state.parity == 0 || line.state.parity == parity);
}

void ScaleModel::HandleLine(const LineFramer::Line& line, Clock::time_point now, Replies& replies) {
    if (mode_ == Mode::Firmware && now - lastFirmwareLine_ > kFirmwareIdleLimit) {
        mode_ = Mode::Commands;  // an abandoned upload: the scale goes back to work
    }
    if (mode_ == Mode::Firmware) {
        HandleFirmwareLine(line, now, replies);
        return;
    }
    // The alibi transfer runs at 115200 baud, even parity; everything else at the
    // configured settings, unless "Salibitrn" has switched the whole line. Bytes at other
    // settings are noise to the scale's receiver.
    const bool transferCommand = line.text == "Salibiprn" || line.text == "Salibinext";
    const bool understood = transferCommand || atTransferSettings_
                                ? Understood(line, kAlibiBaud, 'E')
                                : Understood(line, settings_.baud, settings_.parity);
    if (understood) {
        HandleCommand(line.text, now, replies);
    }
}

void ScaleModel::HandleCommand(const std::string& command, Clock::time_point now,
                               Replies& replies) {
    if (command.empty() || AnswerAcknowledged(command, replies) || AnswerLimit(command, replies) ||
        AnswerSwifisrv(command, replies)) {
        return;
    }
    if (command == "Sx3") {
        AnswerSx3(replies);
    } else if (command == "SI") {
        AnswerSi(replies);
    } else if (command == "SW9") {
        AnswerSw9(replies);
    } else if (command == "Salibitrn") {
        AnswerSalibitrn(replies);
    } else if (command == "Salibiprn") {
        AnswerSalibiprn(replies);
    } else if (command == "Salibinext") {
        AnswerSalibinext(replies);
    } else if (command == "Sfirmwupd") {
        AnswerSfirmwupd(now, replies);
    } else if (command == "Swificfg") {
        AnswerSwificfg(replies);
    } else if (command.front() == 'S') {
        replies.push_back({"ES\r\n"});
    }
    // Anything not starting with "S" is not a command; answering it could start an
    // endless exchange with a line that echoes.
}

bool ScaleModel::Send(Step step, int index, const std::string& text, Replies& replies) {
    switch (settings_.faults.ActionFor(step, index)) {
        case FaultAction::Silent:
            return false;
        case FaultAction::Garbage:
            replies.push_back({kGarbageLine + "\r\n"});
            return true;
        case FaultAction::Unterminated:
            replies.push_back({text});
            return true;
        case FaultAction::Oversized:
            replies.push_back(
                {text + std::string(kOversizedLineBytes - text.size() - 2, ' ') + "\r\n"});
            return true;
        case FaultAction::Repeated:
            replies.push_back({text + "\r\n"});
            break;
        case FaultAction::Answer:
            break;
    }
    replies.push_back({text + "\r\n"});
    return true;
}

bool ScaleModel::AnswerAcknowledged(const std::string& command, Replies& replies) {
    struct Acknowledged {
        const char* command;
        Step step;
    };
    static constexpr Acknowledged kCommands[] = {
        {"ST", Step::St}, {"SZ", Step::Sz}, {"SS", Step::Ss}, {"SJ", Step::Sj}};
    for (const Acknowledged& candidate : kCommands) {
        if (command != candidate.command) {
            continue;
        }
        if (candidate.step == Step::St) {
            tare_ = settings_.weight - zero_;
        } else if (candidate.step == Step::Sz) {
            zero_ = settings_.weight;
            tare_ = 0.0;
        }
        Send(candidate.step, 0, "M" + command.substr(1), replies);
        return true;
    }
    return false;
}

// "SL<value>" and "SH<value>" set the checkweighing limits that "SI" reports with L and H.
bool ScaleModel::AnswerLimit(const std::string& command, Replies& replies) {
    if (command.size() < 3 || (!StartsWith(command, "SL") && !StartsWith(command, "SH"))) {
        return false;
    }
    double value = 0.0;
    if (!ParseNumber(std::string_view(command).substr(2), value)) {
        replies.push_back({"ES\r\n"});
        return true;
    }
    const bool low = command[1] == 'L';
    (low ? low_ : high_) = value;
    (low ? lowSet_ : highSet_) = true;
    Send(low ? Step::Sl : Step::Sh, 0, low ? "ML" : "MH", replies);
    return true;
}

// "H" marks a valid reading and "S" a stable one: H, weight, unit, S; 16 bytes at most.
void ScaleModel::AnswerSx3(Replies& replies) {
    std::string weight;
    const bool valid = FormatWeight(NetWeight(), settings_.decimals, 8, weight);
    const std::string text =
        valid ? "H" + weight + " " + PadUnit(settings_.unit) + "S" : "E--------    U";
    Send(Step::Sx3, 0, text, replies);
}

// Sign in column 1, the value right-aligned in columns 2 to 10, the unit in columns 11 to
// 13, then the limit indicator: H above the high limit, L below the low one.
void ScaleModel::AnswerSi(Replies& replies) {
    const double net = NetWeight();
    std::string magnitude;
    if (!FormatWeight(std::fabs(net), settings_.decimals, 9, magnitude)) {
        magnitude = "   ------";
    }
    char indicator = ' ';
    if (highSet_ && net > high_) {
        indicator = 'H';
    } else if (lowSet_ && net < low_) {
        indicator = 'L';
    }
    const std::string text =
        std::string(net < 0 ? "-" : " ") + magnitude + PadUnit(settings_.unit) + " " + indicator;
    Send(Step::Si, 0, text, replies);
}

void ScaleModel::AnswerSw9(Replies& replies) {
    const std::string lines[] = {settings_.type,
                                 settings_.serialNumber,
                                 settings_.productionDate,
                                 settings_.firmwareVersion,
                                 settings_.header,
                                 std::to_string(memory_.Count()),
                                 "e=0.001kg"};
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    text.pop_back();
    text.pop_back();
    Send(Step::Sw9, 0, text.substr(0, 188), replies);
}

void ScaleModel::AnswerSalibitrn(Replies& replies) {
    // The scale switches to the transfer settings whether or not its answer gets through,
    // and stays there until a listing has ended.
    transferActive_ = true;
    atTransferSettings_ = true;
    Send(Step::Salibitrn, 0, "Malibitrn", replies);
}

void ScaleModel::AnswerSalibiprn(Replies& replies) {
    switch (settings_.faults.ActionFor(Step::Salibiprn)) {
        case FaultAction::Silent:
            return;
        case FaultAction::Garbage:
            replies.push_back({kGarbageLine + "\r\n"});
            return;
        default:  // the faults that shape a line act where Send sends it
            break;
    }
    transferActive_ = true;
    unsent_ = memory_.Count();
    sentInListing_ = 0;
    const std::string count =
        std::to_string(settings_.announcedCount >= 0 ? settings_.announcedCount : memory_.Count()) +
        (settings_.malformedCount ? "a" : "");
    Send(Step::TypeLine, 0, "Type:" + settings_.type, replies) &&
        Send(Step::SerialLine, 0, "Serial number:" + settings_.serialNumber, replies) &&
        Send(Step::DateLine, 0, "Production date:" + settings_.productionDate, replies) &&
        Send(Step::CountLine, 0, "Records:" + count, replies) &&
        Send(Step::HeaderLine, 0, settings_.header, replies);
}

void ScaleModel::AnswerSalibinext(Replies& replies) {
    if (settings_.dropAfter >= 0 && recordsSent_ >= settings_.dropAfter) {
        replies.push_back({"", {}, true});
        return;
    }
    unsent_ = std::min(unsent_, memory_.Count());  // the memory may have been replaced
    if (unsent_ <= 0) {
        if (Send(Step::End, 0, settings_.endLowercase ? "malibiprn" : "Malibiprn", replies)) {
            transferActive_ = false;
            atTransferSettings_ = false;
        }
        return;
    }
    const int position = sentInListing_ + 1;
    std::string record = memory_.Line(memory_.Count() - unsent_);
    if (settings_.shortRecords) {
        // Record number, date and the stability flag: the fields a damaged line keeps.
        const std::size_t first = record.find(';');
        const std::size_t second = first == std::string::npos ? first : record.find(';', first + 1);
        if (second != std::string::npos) {
            record = record.substr(0, second) + record.substr(record.rfind(';'));
        }
    }
    if (!Send(Step::Record, position, record, replies)) {
        return;
    }
    --unsent_;
    ++sentInListing_;
    ++recordsSent_;
    if (settings_.dropAfter >= 0 && recordsSent_ >= settings_.dropAfter) {
        replies.back().hangUp = true;
    }
}

void ScaleModel::AnswerSfirmwupd(Clock::time_point now, Replies& replies) {
    if (!Send(Step::FirmwareStart, 0, "Mfirmwupd", replies)) {
        return;
    }
    mode_ = Mode::Firmware;
    firmwareAccepted_ = 0;
    firmwareRefusals_ = 0;
    lastFirmwareLine_ = now;
}

void ScaleModel::HandleFirmwareLine(const LineFramer::Line& line, Clock::time_point now,
                                    Replies& replies) {
    if (line.text == "Sfirmwupd" && Understood(line, settings_.baud, settings_.parity)) {
        AnswerSfirmwupd(now, replies);  // the sender started over
        return;
    }
    // The loader runs at 115200 baud with the parity the scale is configured for.
    if (!Understood(line, kAlibiBaud, settings_.parity)) {
        return;
    }
    lastFirmwareLine_ = now;
    const int number = firmwareAccepted_ + 1;
    switch (settings_.faults.ActionFor(Step::FirmwareLine, number)) {
        case FaultAction::Silent:
            return;
        case FaultAction::Garbage:
            replies.push_back({kGarbageLine + "\r\n"});
            return;
        default:  // the faults that shape a line act where Send sends it
            break;
    }
    if (number == settings_.firmwareRefuseLine &&
        firmwareRefusals_ < settings_.firmwareRefuseTimes) {
        ++firmwareRefusals_;
        replies.push_back({"f2\r\n"});
        return;
    }
    AcceptFirmwareLine(line.text, replies);
}

void ScaleModel::AcceptFirmwareLine(const std::string& text, Replies& replies) {
    ++firmwareAccepted_;
    firmwareRefusals_ = 0;
    if (!settings_.firmwareOutPath.empty()) {
        std::ofstream out(settings_.firmwareOutPath, std::ios::binary | std::ios::app);
        out << text << '\n';
    }
    replies.push_back({"f1\r\n"});
    const bool last = settings_.firmwareLines > 0 ? firmwareAccepted_ >= settings_.firmwareLines
                                                  : IsIntelHexEndRecord(text);
    if (!last) {
        return;
    }
    mode_ = Mode::Commands;
    if (settings_.firmwareSilentEnd) {
        return;
    }
    // Writing the flash takes a moment before the scale reports the end.
    Replies end;
    if (Send(Step::FirmwareEnd, 0, "f3", end)) {
        end.back().delay =
            std::chrono::duration_cast<std::chrono::milliseconds>(kFirmwareFinishPause);
        replies.push_back(end.back());
    }
}

void ScaleModel::AnswerSwificfg(Replies& replies) {
    if (settings_.refuseWificfg) {
        replies.push_back({"ES\r\n"});
        return;
    }
    if (!Send(Step::Wificfg, 0, "Mwificfg", replies)) {
        return;
    }
    mode_ = Mode::Wifi;
    framer_.Clear();
    wifi_->Attach();
}

bool ScaleModel::AnswerSwifisrv(const std::string& command, Replies& replies) {
    if (!StartsWith(command, "Swifisrv=")) {
        return false;
    }
    const std::string_view argument = std::string_view(command).substr(9);
    int port = 0;
    if (argument == "?") {
        const std::string state =
            wifiServerPort_ > 0 ? "1," + std::to_string(wifiServerPort_) : std::string("0");
        Send(Step::Wifisrv, 0, "Mwifisrv=" + state, replies);
    } else if (argument == "0") {
        wifiServerPort_ = 0;
        Send(Step::Wifisrv, 0, "Mwifisrv", replies);
    } else if (argument.substr(0, 2) == "1," && ParsePort(argument.substr(2), port)) {
        wifiServerPort_ = port;
        Send(Step::Wifisrv, 0, "Mwifisrv", replies);
    } else {
        replies.push_back({"ES\r\n"});
    }
    return true;
}

}  // namespace scalesim
