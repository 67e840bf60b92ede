#pragma once

#include <QByteArray>
#include <QString>
#include <map>
#include <vector>

// A scale as the archive tells scales apart: by the type and the serial
// number of its identity lines (the texts as GetDeviceInfo gives them).
struct ScaleKey {
    QString type;
    qint32 serialNumber = 0;

    friend bool operator==(const ScaleKey&, const ScaleKey&) = default;
};

// One memory of a scale as the archive held it when the snapshot was taken.
// A memory is one set of records that belong together: the scale's alibi
// memory between two clearings.
struct MemoryState {
    qint64 memoryId = 0;
    qint64 newestNumber = 0;  // the highest record number held
    // The highest N such that records 1..N are all held; 0 when record 1 is
    // missing. A read may stop at this record and no earlier one.
    qint64 unbrokenTop = 0;
    qint64 recordCount = 0;
    // The archived lines numbered from unbrokenTop up to newestNumber: the
    // ones a read that stops at unbrokenTop fetches again and must find
    // unchanged. Usually just the line at the top.
    std::map<qint64, QByteArray> upperLines;

    // The archived line with this number, if the snapshot holds it.
    const QByteArray* line(qint64 number) const;
};

// What a read needs to know of the archive, taken before the read starts so
// that the plan can be made on the library's listener thread, inside the
// status-0 callback, without touching the database. A plain value: load it
// on the archive's thread (RecordArchive::loadSnapshot), hand it to the read,
// and read it from any thread.
class ArchiveSnapshot {
public:
    // The memory a read of this scale is planned against (see
    // ArchiveReader::loadSnapshot); null when the archive holds no record of
    // the scale.
    const MemoryState* memoryFor(const ScaleKey& scale) const;
    const MemoryState* memory(qint64 memoryId) const;

    void setMemory(const ScaleKey& scale, MemoryState memory);
    size_t scaleCount() const { return scales_.size(); }

private:
    // A handful of scales: a list is as fast as a map and keeps the order.
    std::vector<std::pair<ScaleKey, MemoryState>> scales_;
};
