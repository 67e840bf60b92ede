#include "Conversation.h"

#include <algorithm>
#include <cstdio>

namespace scalesim {

std::chrono::nanoseconds ByteTime(int baud, int bitsPerByte) {
    if (baud <= 0) {
        return std::chrono::nanoseconds(0);
    }
    return std::chrono::nanoseconds(1'000'000'000LL * bitsPerByte / baud);
}

Conversation::Conversation(const DeviceSetup& setup, std::string name)
    : model_(setup.sharedScale
                 ? setup.sharedScale
                 : std::make_shared<ScaleModel>(*setup.scale, *setup.memory, *setup.wifi)),
      output_(setup.delivery),
      name_(std::move(name)),
      trace_(setup.trace),
      pace_(setup.delivery.pace) {}

void Conversation::Receive(std::string_view bytes, const LineState& line,
                           std::chrono::nanoseconds byteTime, Clock::time_point now) {
    Trace("<", bytes);
    if (!pace_) {
        byteTime = std::chrono::nanoseconds(0);
    }
    // The last byte of a request crosses a real line only after all bytes before it, so a
    // paced scale cannot answer earlier than that.
    receivedUntil_ =
        std::max(receivedUntil_, now) + byteTime * static_cast<Clock::rep>(bytes.size());
    Replies replies;
    model_->Receive(bytes, line, now, replies);
    output_.Push(replies, receivedUntil_, byteTime);
}

OutputQueue::State Conversation::Flush(Clock::time_point now, const OutputQueue::Writer& write) {
    if (!trace_) {
        return output_.Flush(now, write);
    }
    return output_.Flush(now, [&](const char* data, std::size_t size) {
        const long written = write(data, size);
        if (written > 0) {
            Trace(">", std::string_view(data, static_cast<std::size_t>(written)));
        }
        return written;
    });
}

void Conversation::Trace(const char* direction, std::string_view bytes) const {
    if (!trace_ || bytes.empty()) {
        return;
    }
    std::string shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\r') {
            shown += "\\r";
        } else if (byte == '\n') {
            shown += "\\n";
        } else if (byte < 32 || byte >= 127) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            shown += escaped;
        } else {
            shown += c;
        }
    }
    std::fprintf(stderr, "scale-sim %s %s %s\n", name_.c_str(), direction, shown.c_str());
}

}  // namespace scalesim
