#include "ArchiveSnapshot.h"

const QByteArray* MemoryState::line(qint64 number) const {
    const auto found = upperLines.find(number);
    return found == upperLines.end() ? nullptr : &found->second;
}

const MemoryState* ArchiveSnapshot::memoryFor(const ScaleKey& scale) const {
    for (const auto& [key, memory] : scales_) {
        if (key == scale) {
            return &memory;
        }
    }
    return nullptr;
}

const MemoryState* ArchiveSnapshot::memory(qint64 memoryId) const {
    for (const auto& entry : scales_) {
        if (entry.second.memoryId == memoryId) {
            return &entry.second;
        }
    }
    return nullptr;
}

void ArchiveSnapshot::setMemory(const ScaleKey& scale, MemoryState memory) {
    for (auto& [key, held] : scales_) {
        if (key == scale) {
            held = std::move(memory);
            return;
        }
    }
    scales_.emplace_back(scale, std::move(memory));
}
