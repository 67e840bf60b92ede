#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "AlibiMemory.h"
#include "LineFramer.h"
#include "Reply.h"
#include "ScaleSettings.h"
#include "WifiModule.h"

namespace scalesim {

// The scale's side of the line protocol, independent of the carrier: bytes in, replies
// out. One instance is one conversation (a pseudo-terminal, a TCP connection, a UDP peer).
class ScaleModel {
public:
    ScaleModel(const ScaleSettings& settings, const AlibiMemory& memory,
               const WifiSettings& wifiSettings);

    void Receive(std::string_view bytes, const LineState& line, Clock::time_point now,
                 Replies& replies);

    // The parity the scale itself sends with at the moment: it switches to even parity for
    // the alibi transfer. A pseudo-terminal cannot report parity, so pacing asks here.
    char CurrentParity() const { return transferActive_ ? 'E' : settings_.parity; }

    bool WifiModeActive() const { return mode_ == Mode::Wifi; }

private:
    enum class Mode { Commands, Firmware, Wifi };

    void HandleLine(const LineFramer::Line& line, Clock::time_point now, Replies& replies);
    void HandleCommand(const std::string& command, Clock::time_point now, Replies& replies);
    void HandleFirmwareLine(const LineFramer::Line& line, Clock::time_point now, Replies& replies);
    bool Understood(const LineFramer::Line& line, int baud, char parity) const;

    bool AnswerAcknowledged(const std::string& command, Replies& replies);
    bool AnswerLimit(const std::string& command, Replies& replies);
    void AnswerSx3(Replies& replies);
    void AnswerSi(Replies& replies);
    void AnswerSw9(Replies& replies);
    void AnswerSalibitrn(Replies& replies);
    void AnswerSalibiprn(Replies& replies);
    void AnswerSalibinext(Replies& replies);
    void AnswerSfirmwupd(Clock::time_point now, Replies& replies);
    void AnswerSwificfg(Replies& replies);
    bool AnswerSwifisrv(const std::string& command, Replies& replies);
    void AcceptFirmwareLine(const std::string& text, Replies& replies);

    // Sends `text` + CR LF unless a fault says otherwise; false when the step stayed silent.
    bool Send(Step step, int index, const std::string& text, Replies& replies);

    double NetWeight() const { return settings_.weight - zero_ - tare_; }

    ScaleSettings settings_;
    const AlibiMemory& memory_;
    LineFramer framer_;
    Mode mode_ = Mode::Commands;
    std::unique_ptr<WifiModule> wifi_;

    bool transferActive_ = false;
    // After "Salibitrn" the scale's whole line runs at 115200 baud, even parity, until the
    // end line of a listing has been sent: a program that leaves earlier leaves it there.
    bool atTransferSettings_ = false;
    // The listing's place counted from the oldest record, so that records weighed during
    // a transfer (on top) do not move it; 0: nothing left to list.
    std::int64_t unsent_ = 0;
    int sentInListing_ = 0;
    long long recordsSent_ = 0;

    double zero_ = 0.0;
    double tare_ = 0.0;
    double low_ = 0.0;
    double high_ = 0.0;
    bool lowSet_ = false;
    bool highSet_ = false;

    int wifiServerPort_ = 0;  // 0: the scale's WiFi server is off

    int firmwareAccepted_ = 0;
    int firmwareRefusals_ = 0;
    Clock::time_point lastFirmwareLine_;
};

}  // namespace scalesim
