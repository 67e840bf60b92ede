#pragma once

#include <cstdint>
#include <string>

#include "AlibiMemory.h"

namespace scalesim {

// Changes the alibi memory while the simulator runs, so that a test can read the same
// scale again after it has weighed more, or after its memory was replaced. Each change
// ends with the line "records <count>" on standard output, for whoever waits for it.
class MemoryUpdates {
public:
    // `recordsFile` is empty for a generated memory.
    MemoryUpdates(AlibiMemory& memory, std::int64_t growBy, std::uint64_t seed,
                  std::string recordsFile);

    // New weighings on top of the memory (SIGUSR1).
    void AddOnTop();
    // The records file again, whatever it holds now (SIGHUP). A file that cannot be read
    // leaves the memory as it was.
    void ReloadFile();

private:
    void Report() const;

    AlibiMemory& memory_;
    std::int64_t growBy_;
    std::uint64_t seed_;
    std::string recordsFile_;
};

}  // namespace scalesim
