// How line settings become termios flags. Exposed so that tests can check
// parity and data bits, which a Linux pseudo-terminal does not keep.
#pragma once

#include <termios.h>

#include "platform/SerialDevice.h"

namespace qel {

// The termios speed constant of a baud-table rate; B0 for any other rate.
speed_t BaudConstant(int baud);

// Raw mode (no echo, no line editing, no translation), receiver on, modem
// lines ignored, the given speed, parity and data bits, one stop bit, and
// reads that never block (the receiving thread polls).
void BuildTermios(termios& settings, const LineSettings& line);

}  // namespace qel
