// The phases of the device's listener, all in one place so that the ranges
// of the scale's dialogues and of the firmware upload never overlap: the
// scale handles the weighing reply and the alibi read, and passes the
// firmware phases on to the device.
#pragma once

#include <cstdint>

namespace qel {

enum ListenerPhase : int32_t {
    // One weighing line for RequestSI.
    kPhaseWeighingReply = 0,

    // The alibi read, 4 to 10.
    kPhaseTransferAnnounced = 4,
    kPhaseType = 5,
    kPhaseSerialNumber = 6,
    kPhaseProductionDate = 7,
    kPhaseCount = 8,
    kPhaseHeader = 9,
    kPhaseRecords = 10,

    // The scale's firmware upload, 64 to 68.
    kStartSent = 64,
    kStartRepeated = 65,
    kLineSentOnce = 66,
    kLineSentTwice = 67,
    kAllLinesSent = 68,
};

inline bool IsAlibiPhase(int32_t phase) {
    return phase >= kPhaseTransferAnnounced && phase <= kPhaseRecords;
}

inline bool IsFirmwarePhase(int32_t phase) {
    return phase >= kStartSent && phase <= kAllLinesSent;
}

}  // namespace qel
