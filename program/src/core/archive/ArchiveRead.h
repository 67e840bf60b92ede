#pragma once

#include <QDateTime>
#include <QString>

#include "ArchiveProblem.h"
#include "ArchiveSnapshot.h"
#include "IncrementalRead.h"
#include "RecordSet.h"

// The scale's identity texts and column line as the read received them.
struct ReadIdentity {
    QString type;
    qint32 serialNumber = 0;
    QString productionDate;
    QString columnLine;

    ScaleKey key() const { return {type, serialNumber}; }
};

// One read as it goes into the archive: what the read session hands over
// once the transfer is over, successful or not.
struct FinishedRead {
    ReadIdentity identity;
    // How the scale was reached, as the operator would say it:
    // "COM /dev/ttyUSB0 9600 8 N", "USB USB1 115200 8 E",
    // "Ethernet 192.168.1.75:1001 TCP".
    QString connection;
    QDateTime startedAt;   // the read button
    QDateTime finishedAt;  // the end of the transfer
    qint64 announcedCount = 0;

    ReadPlan::Kind kind = ReadPlan::Kind::Full;
    qint64 stopAfter = 0;         // an incremental read's stop record
    qint64 memoryId = 0;          // tried first: the memory the read continues
    qint64 excludedMemoryId = 0;  // never joined: a memory the read did not fit

    // True when the read got every line it set out to get: a full read its
    // end line after the announced count of lines, an incremental read a
    // Verified verdict. A read that failed part-way is archived with false.
    bool complete = false;

    // Every line the library stored, in arrival order (GetAlibiLineCount,
    // GetAlibiRecordLine and GetAlibiRecord, see RecordArchive.h).
    RecordSet records;

    // Takes the plan's kind, stop record and memories.
    void applyPlan(const ReadPlan& plan);
    // After a Mismatch the records never join the memory they did not fit.
    void applyVerdict(const ReadVerdict& verdict);
};

// What the archive made of a read.
struct WriteOutcome {
    ArchiveProblem problem;  // anything but None: nothing of the read was kept
    qint64 readId = 0;
    qint64 memoryId = 0;     // 0 for a read without records
    bool newMemory = false;  // the read started a memory of its own
    qint64 added = 0;        // records the archive did not hold before
    qint64 alreadyHeld = 0;  // records it held already, byte for byte (stored once)
    // Lines kept with the read only, not as records of the memory: lines the
    // library could not read, and a second, different line under a record
    // number the read had already brought.
    qint64 setAside = 0;

    bool ok() const { return problem.ok(); }
};
