// Who holds a serial line that would not open, where the system tells.
// The POSIX version lives in posix/.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qel {

// Folders where serial programs leave their "LCK..<name>" lock files.
std::vector<std::string> DefaultLockDirs();

// The process id of a living process that holds the line at `path`: the
// owner of a whole-file lock on the device (the lock our own Open takes,
// and other serial tools too), then the pid in a "LCK..<name>" file in one
// of `lockDirs`, then a process of this user that has the device open.
// Empty when none of them tells.
std::optional<int64_t> FindPortHolder(const std::string& path,
                                      const std::vector<std::string>& lockDirs = DefaultLockDirs());

}  // namespace qel
