#pragma once

#include <termios.h>

namespace scalesim {

// The line speeds a scale and its program agree on.
bool IsSupportedBaud(int baud);
speed_t SpeedFromBaud(int baud);
int BaudFromSpeed(speed_t speed);  // 0 for a speed outside the table
// Start bit, data bits, parity bit and stop bits of one byte.
int FrameBits(const termios& settings);

}  // namespace scalesim
