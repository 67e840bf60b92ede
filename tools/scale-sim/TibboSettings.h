#pragma once

#include <string>

namespace scalesim {

// The simulated Ethernet module's identity and the faults it can show.
struct TibboSettings {
    std::string mac = "0.36.119.87.16.42";
    std::string owner = "VESK";
    std::string deviceName = "scale-sim";
    std::string version = "3.66/EM1000";
    bool startInLoading = false;
    bool silent = false;
    int refuseBlock = -1;        // answer "F" to this block number
    std::string refuseCommand;   // answer "D" to this command (L, N, Q, E, PBR, PPR, ...)
    bool stayInLoading = false;  // accept "E" but never return to normal mode
    std::string imageOutPath;    // the loaded image is written here after "E"
};

}  // namespace scalesim
