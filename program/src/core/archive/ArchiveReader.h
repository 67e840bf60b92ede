#pragma once

#include <QDateTime>
#include <limits>
#include <vector>

#include "ArchiveProblem.h"
#include "ArchiveRead.h"
#include "ArchiveSnapshot.h"
#include "RecordSet.h"

class ArchiveDatabase;

// One memory of a scale, for browsing.
struct ArchivedMemory {
    qint64 memoryId = 0;
    QDateTime createdAt;
    QDateTime lastReadAt;  // the end of the last read that wrote to it
    qint64 recordCount = 0;
    qint64 newestNumber = 0;
    qint64 unbrokenTop = 0;
};

// A scale the archive holds records of, for browsing.
struct ArchivedScale {
    qint64 scaleId = 0;
    QString type;
    qint32 serialNumber = 0;
    QString productionDate;                // as its last read received it
    std::vector<ArchivedMemory> memories;  // most recently written first
};

// A whole memory for the grid: the records as a full read of it would have
// brought them, and the identity and column line of its last read, from
// which the table's fields are defined (RecordLayout::fromColumnLine).
struct MemoryContent {
    qint64 memoryId = 0;
    ReadIdentity identity;
    RecordSet records;
};

// The archive's reading side: the snapshot a read is planned on, records
// for the grid, and the list of what the archive holds.
class ArchiveReader {
public:
    explicit ArchiveReader(ArchiveDatabase& db) : db_(db) {}

    // Per scale the memory its next read continues: the one its last
    // complete read filed records in, else the one written last. A read
    // broken off among new records (kept as a memory of its own, see
    // ArchiveWriter) thus does not cost the next read its early stop.
    ArchiveResult<ArchiveSnapshot> loadSnapshot();

    // The memory's records numbered below `belowNumber`, newest first: the
    // order in which the scale sends them, so that RecordSet::appendRowsTo
    // fills the table as a read does.
    ArchiveResult<RecordSet> loadRecords(qint64 memoryId,
                                         qint64 belowNumber = std::numeric_limits<qint64>::max());
    ArchiveResult<MemoryContent> loadMemory(qint64 memoryId);

    // Every scale with records, by type and serial number.
    ArchiveResult<std::vector<ArchivedScale>> listScales();

private:
    ArchiveProblem loadUpperLines(MemoryState& memory);

    ArchiveDatabase& db_;
};
