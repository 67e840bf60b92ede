#pragma once

#include "ArchiveConfig.h"
#include "ArchiveDatabase.h"
#include "ArchiveReader.h"
#include "ArchiveWriter.h"

// The record archive: every record ever read, per scale and memory, in an
// SQLite file or on a PostgreSQL server, through one connection.
//
// Threads: a RecordArchive and everything it returns by reference belong to
// the thread that called open() (Qt SQL's rule for connections); the values
// it returns are plain and may go to any thread. The window does not use
// it directly but through ArchiveThread, which keeps it off the UI thread.
//
// Failures: no call throws or waits forever. Each returns an ArchiveProblem
// (Locked after the busy timeout, Damaged, CannotOpen, ...) with the
// database's text, and leaves the archive as it was.
//
// How a read uses the archive (see IncrementalRead.h and ArchiveThread.h):
//  1. Before the read, on the archive's thread: loadSnapshot().
//  2. In the status-0 callback, on the listener thread: planRead(snapshot,
//     {type, serialNumber}, count, mode); for an Incremental plan
//     EndAlibiReadAfter(plan.stopAfter).
//  3. In the status-1 callback (or when the read fails), on the listener
//     thread, copy the stored lines into a RecordSet:
//        for i in 1..GetAlibiLineCount():
//            line = GetAlibiRecordLine(i)
//            try   { rec = GetAlibiRecord(i); records.append(line, &rec); }
//            catch { records.append(line, nullptr); }
//  4. Incremental: verifyIncremental(snapshot, plan, count, records, ended).
//     Verified: the grid is `records` followed by loadRecords(memoryId,
//     verdict.olderBelow), the whole through RecordSet::appendRowsTo.
//     Mismatch: archive this read (applyVerdict), then read again with
//     fallbackPlan(verdict). Unfinished: archive what came.
//  5. On the archive's thread: write(finishedRead).
class RecordArchive {
public:
    RecordArchive() : reader_(db_), writer_(db_) {}

    // Connects, creates the tables of a new archive or checks the layout of
    // an existing one, and runs the quick integrity check. On any problem
    // the archive stays closed.
    ArchiveProblem open(const ArchiveConfig& config);
    void close() { db_.close(); }
    bool isOpen() const { return db_.isOpen(); }
    ArchiveBackend backend() const { return db_.backend(); }
    QString location() const { return db_.location(); }

    // The thorough check: the engine's integrity check of every page and
    // index, the foreign keys, and the archive's own figures.
    ArchiveProblem integrityCheck();

    ArchiveResult<ArchiveSnapshot> loadSnapshot() { return reader_.loadSnapshot(); }
    // One transaction per read; see ArchiveWriter for the memory it joins.
    WriteOutcome write(const FinishedRead& read, const ArchiveWriter::Progress& progress = {}) {
        return writer_.write(read, progress);
    }
    ArchiveResult<RecordSet> loadRecords(qint64 memoryId,
                                         qint64 belowNumber = std::numeric_limits<qint64>::max()) {
        return reader_.loadRecords(memoryId, belowNumber);
    }
    ArchiveResult<MemoryContent> loadMemory(qint64 memoryId) {
        return reader_.loadMemory(memoryId);
    }
    ArchiveResult<std::vector<ArchivedScale>> listScales() { return reader_.listScales(); }

private:
    ArchiveDatabase db_;
    ArchiveReader reader_;
    ArchiveWriter writer_;
};
