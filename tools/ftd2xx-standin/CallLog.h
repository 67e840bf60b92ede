// One line per call made to the stand-in, appended to the file named by
// FTD2XX_STANDIN_LOG (nothing is written without it), so that a test can see
// which D2XX calls a caller made, with which arguments, in which order.
#pragma once

#include <string>

namespace ftstandin {

void LogLine(const std::string& line);

}  // namespace ftstandin
