#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "LoopbackAddress.h"
#include "OutputQueue.h"
#include "ScaleSettings.h"
#include "TibboSettings.h"
#include "WifiModule.h"

namespace scalesim {

struct SimOptions {
    bool pty = false;
    std::string linkPath;
    std::optional<LoopbackAddress> tcp;
    std::optional<LoopbackAddress> udp;
    bool tibbo = false;

    std::int64_t records = 1000;
    std::uint64_t seed = 1;
    std::string recordsFile;
    std::int64_t growBy = 1;  // records each SIGUSR1 adds on top

    bool oneScale = false;  // all connections share one scale

    ScaleSettings scale;
    WifiSettings wifi;
    TibboSettings module;
    DeliverySettings delivery;
    bool trace = false;
    bool help = false;
    bool version = false;
};

// Parses the command line; on failure returns false with a message for the user.
bool ParseSimOptions(int argc, char** argv, SimOptions& options, std::string& error);

std::string HelpText();

}  // namespace scalesim
