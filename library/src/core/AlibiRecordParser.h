// The record lines of the alibi memory: twelve fields separated by ";",
// ended by CR LF.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "QELScale.h"

namespace qel {

// Parses `line` into a record. The four text fields point into `slots`
// (date, time, user, product), which the next parse overwrites. Throws
// std::invalid_argument when the last field is not an integer.
AlibiRecord ParseAlibiRecord(const std::string& line, std::array<std::string, 10>& slots,
                             const std::function<int32_t(const std::string&)>& unitCode);

// The record number of a line, for progress. Throws std::invalid_argument
// when the first field is not a number.
double RecordNumberForProgress(const std::string& line);

}  // namespace qel
