#include "LineFramer.h"

namespace scalesim {

namespace {

bool SameSettings(const LineState& a, const LineState& b) {
    return a.baud == b.baud && a.parity == b.parity;
}

}  // namespace

void LineFramer::Feed(std::string_view bytes, const LineState& state, std::vector<Line>& lines) {
    for (const char byte : bytes) {
        if (byte == '\n') {
            if (!discarding_) {
                while (!pending_.empty() && pending_.back() == '\r') {
                    pending_.pop_back();
                }
                lines.push_back({pending_, pendingState_, pendingMixed_});
            }
            Clear();
            continue;
        }
        if (discarding_) {
            continue;
        }
        if (pending_.empty()) {
            pendingState_ = state;
        } else if (!SameSettings(state, pendingState_)) {
            pendingMixed_ = true;
        }
        pending_ += byte;
        if (pending_.size() > kMaxLine) {
            discarding_ = true;
            pending_.clear();
        }
    }
}

void LineFramer::Clear() {
    pending_.clear();
    pendingMixed_ = false;
    discarding_ = false;
}

}  // namespace scalesim
