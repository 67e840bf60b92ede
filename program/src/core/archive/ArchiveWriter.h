#pragma once

#include <QSqlQuery>
#include <deque>
#include <functional>
#include <vector>

#include "ArchiveRead.h"

class ArchiveDatabase;

// Files one read in the archive, in one transaction: its scale, the memory
// its records belong to, the read itself, the records the archive did not
// hold yet, and the lines that are no record. Either all of it is committed
// or none of it. Record rows are only ever inserted, never changed.
//
// The memory: the read joins an existing memory of its scale only when it
// shows that it belongs there: at least one of its records is held there
// byte for byte, none differs from the one held under its number, and the
// scale announces at least the memory's newest number. The memory the read
// continued (FinishedRead::memoryId) is tried first, then the others, most
// recently written first, never the excluded one; a read that fits none
// starts a new memory, so two sets of records are never mixed.
class ArchiveWriter {
public:
    // Called after every group of records written, inside the transaction;
    // returning false cancels the write, which then leaves no trace.
    using Progress = std::function<bool(qint64 written, qint64 total)>;

    explicit ArchiveWriter(ArchiveDatabase& db) : db_(db) {}

    WriteOutcome write(const FinishedRead& read, const Progress& progress);

private:
    struct Sorted {
        qint64 number;
        size_t position;
    };
    struct Plan;

    static void sortLines(const FinishedRead& read, Plan& plan);
    ArchiveProblem writeInTransaction(const FinishedRead& read, const Progress& progress,
                                      Plan& plan, WriteOutcome& outcome);
    ArchiveResult<qint64> ensureScale(const ReadIdentity& identity);
    ArchiveProblem chooseMemory(const FinishedRead& read, qint64 scaleId, Plan& plan);
    ArchiveResult<bool> fits(const FinishedRead& read, qint64 memoryId, Plan& plan);
    ArchiveProblem createMemory(qint64 scaleId, Plan& plan);
    ArchiveResult<qint64> insertRead(const FinishedRead& read, qint64 scaleId, const Plan& plan);
    ArchiveProblem insertRecords(const FinishedRead& read, const Progress& progress, Plan& plan);
    ArchiveProblem insertSetAside(const FinishedRead& read, const Plan& plan);
    ArchiveProblem updateMemory(const Plan& plan);
    ArchiveResult<qint64> unbrokenTopAfter(const Plan& plan);

    // A new statement that lives until the transaction is over.
    QSqlQuery& statement();

    ArchiveDatabase& db_;
    std::deque<QSqlQuery> statements_;
};
