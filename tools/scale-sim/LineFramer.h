#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Reply.h"

namespace scalesim {

// Splits received bytes into LF-terminated lines and remembers at which line settings
// their bytes came, so that a line received partly at a wrong speed can be told apart.
class LineFramer {
public:
    struct Line {
        std::string text;  // without the trailing CR LF
        LineState state;   // the settings of its first byte
        bool mixedSettings = false;
    };

    void Feed(std::string_view bytes, const LineState& state, std::vector<Line>& lines);
    void Clear();

private:
    // Longer than any command or firmware line; anything longer is noise.
    static constexpr std::size_t kMaxLine = 16 * 1024;

    std::string pending_;
    LineState pendingState_;
    bool pendingMixed_ = false;
    bool discarding_ = false;
};

}  // namespace scalesim
