#pragma once

#include <string>
#include <vector>

namespace qel {

// The lines of a firmware text file, without line breaks (CR LF, LF or CR).
// A UTF-8 byte-order mark is skipped; a file with a UTF-16 byte-order mark is
// decoded to UTF-8. A file that is no text (zero bytes in it, malformed
// UTF-16) gives no lines. Throws std::runtime_error when the file cannot be
// opened.
std::vector<std::string> ReadFirmwareLines(const std::string& path);

}  // namespace qel
