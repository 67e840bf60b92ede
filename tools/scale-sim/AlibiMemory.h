#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace scalesim {

// The scale's store of weighings: record lines (twelve ";"-separated fields, no line
// break) in the order the scale sends them.
class AlibiMemory {
public:
    // Realistic records numbered 1..count, sent newest first (from the count down to 1),
    // the same for the same seed.
    static AlibiMemory Generate(std::int64_t count, std::uint64_t seed);

    // One record line per non-empty line of the file, sent in file order. Lines starting
    // with "#" are comments. Returns false with a reason when the file cannot be read.
    static bool Load(const std::string& path, AlibiMemory& memory, std::string& error);

    std::int64_t Count() const { return static_cast<std::int64_t>(lines_.size()); }
    const std::string& Line(std::int64_t position) const { return lines_[position]; }

private:
    std::vector<std::string> lines_;
};

}  // namespace scalesim
