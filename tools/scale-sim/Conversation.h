#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "OutputQueue.h"
#include "ScaleModel.h"

namespace scalesim {

// Everything a carrier needs to build a scale conversation.
struct DeviceSetup {
    const ScaleSettings* scale = nullptr;
    const AlibiMemory* memory = nullptr;
    const WifiSettings* wifi = nullptr;
    DeliverySettings delivery;
    bool trace = false;
    // Set: every conversation talks to this one scale (--one-scale); otherwise each gets
    // a scale of its own.
    std::shared_ptr<ScaleModel> sharedScale;
};

// Frame timing of the line: start bit, data bits, parity bit, stop bits.
std::chrono::nanoseconds ByteTime(int baud, int bitsPerByte);

// One scale conversation over a carrier: received bytes go to the scale, its replies wait
// in the queue until the carrier can deliver them.
class Conversation {
public:
    Conversation(const DeviceSetup& setup, std::string name);

    // `byteTime` is the time one byte takes on the line at its current settings (0 when
    // the carrier has no line rate).
    void Receive(std::string_view bytes, const LineState& line, std::chrono::nanoseconds byteTime,
                 Clock::time_point now);

    OutputQueue::State Flush(Clock::time_point now, const OutputQueue::Writer& write);
    std::optional<Clock::time_point> NextDue() const { return output_.NextDue(); }
    const ScaleModel& Model() const { return *model_; }
    const std::string& Name() const { return name_; }

private:
    void Trace(const char* direction, std::string_view bytes) const;

    std::shared_ptr<ScaleModel> model_;
    OutputQueue output_;
    std::string name_;
    bool trace_;
    bool pace_;
    Clock::time_point receivedUntil_{};  // when the last request byte finished arriving
};

}  // namespace scalesim
