#pragma once

#include "Conversation.h"

namespace scalesim {

// The serial line between the Ethernet module and the scale, as set over the module's
// management port. Without the module a network carrier has no line speed at all.
struct ModuleSerial {
    int baud = 9600;
    char parity = 'N';
};

inline LineState NetworkLineState(const ModuleSerial* module) {
    return module ? LineState{module->baud, module->parity} : LineState{};
}

// Pacing over the network follows the module's serial side, or the scale's own settings.
inline std::chrono::nanoseconds NetworkByteTime(const ModuleSerial* module, int scaleBaud,
                                                const ScaleModel& model) {
    const char parity = module ? module->parity : model.CurrentParity();
    return ByteTime(module ? module->baud : scaleBaud, parity == 'N' ? 10 : 11);
}

}  // namespace scalesim
