#include "MemoryUpdates.h"

#include <cstdio>
#include <utility>

namespace scalesim {

MemoryUpdates::MemoryUpdates(AlibiMemory& memory, std::int64_t growBy, std::uint64_t seed,
                             std::string recordsFile)
    : memory_(memory), growBy_(growBy), seed_(seed), recordsFile_(std::move(recordsFile)) {}

void MemoryUpdates::AddOnTop() {
    memory_.AddOnTop(growBy_, seed_);
    Report();
}

void MemoryUpdates::ReloadFile() {
    std::string error = "no --records-file to reload";
    AlibiMemory reloaded;
    if (!recordsFile_.empty() && AlibiMemory::Load(recordsFile_, reloaded, error)) {
        memory_ = std::move(reloaded);
    } else {
        std::fprintf(stderr, "scale-sim: %s; the memory stays as it was\n", error.c_str());
    }
    Report();
}

void MemoryUpdates::Report() const {
    std::printf("records %lld\n", static_cast<long long>(memory_.Count()));
    std::fflush(stdout);
}

}  // namespace scalesim
