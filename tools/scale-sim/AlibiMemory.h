#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace scalesim {

class RecordGenerator;

// The scale's store of weighings: record lines (twelve ";"-separated fields, no line
// break). The scale sends them newest first; new weighings go on top.
class AlibiMemory {
public:
    AlibiMemory();
    ~AlibiMemory();
    AlibiMemory(AlibiMemory&&) noexcept;
    AlibiMemory& operator=(AlibiMemory&&) noexcept;

    // Realistic records numbered 1..count, sent newest first (from the count down to 1),
    // the same for the same seed.
    static AlibiMemory Generate(std::int64_t count, std::uint64_t seed);

    // One record line per non-empty line of the file, sent in file order. Lines starting
    // with "#" are comments. Returns false with a reason when the file cannot be read.
    static bool Load(const std::string& path, AlibiMemory& memory, std::string& error);

    // Weighs `count` more: records numbered on from the count, on top of the others. A
    // generated memory goes on with its own sequence, so that it then holds exactly what
    // Generate(Count(), seed) gives; a loaded one starts the sequence of `seed`.
    void AddOnTop(std::int64_t count, std::uint64_t seed);

    std::int64_t Count() const { return static_cast<std::int64_t>(oldestFirst_.size()); }
    // `position` counts from the newest record (0) down to the oldest (Count() - 1).
    const std::string& Line(std::int64_t position) const {
        return oldestFirst_[static_cast<std::size_t>(Count() - 1 - position)];
    }

private:
    std::vector<std::string> oldestFirst_;
    std::unique_ptr<RecordGenerator> generator_;  // continues a generated memory
};

}  // namespace scalesim
