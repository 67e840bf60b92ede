#include "ArchiveWriter.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>

#include "ArchiveDatabase.h"
#include "ArchiveTime.h"
#include "RecordInserter.h"

namespace {

using Kind = ArchiveProblem::Kind;

}  // namespace

// What the write found out before it inserts anything.
struct ArchiveWriter::Plan {
    std::vector<Sorted> records;   // one per record number, by number
    std::vector<size_t> setAside;  // positions of lines that are no record
    std::vector<char> held;        // per entry of `records`: already in the memory
    qint64 alreadyHeld = 0;
    qint64 memoryId = 0;
    bool newMemory = false;
    qint64 readId = 0;
    // The memory's figures before the write.
    qint64 newest = 0;
    qint64 unbrokenTop = 0;
    qint64 recordCount = 0;
    qint64 added = 0;
};

WriteOutcome ArchiveWriter::write(const FinishedRead& read, const Progress& progress) {
    WriteOutcome outcome;
    if (!db_.isOpen()) {
        outcome.problem =
            ArchiveProblem::make(Kind::NotOpen, QStringLiteral("the archive is not open"));
        return outcome;
    }
    Plan plan;
    sortLines(read, plan);
    ArchiveProblem problem = db_.beginWrite();
    if (problem.ok()) {
        problem = writeInTransaction(read, progress, plan, outcome);
        for (QSqlQuery& done : statements_) {
            done.finish();  // SQLite commits only with no statement in progress
        }
        if (problem.ok()) {
            problem = db_.commit();
        }
        if (!problem.ok()) {
            db_.rollback();
        }
    }
    // Only now: a server cannot free a statement inside a failed transaction.
    statements_.clear();
    if (!problem.ok()) {
        return WriteOutcome{problem};
    }
    return outcome;
}

QSqlQuery& ArchiveWriter::statement() {
    return statements_.emplace_back(db_.query());
}

// A record number the read brought twice keeps its first line; a second,
// different line is set aside, an identical one counts once.
void ArchiveWriter::sortLines(const FinishedRead& read, Plan& plan) {
    const RecordSet& records = read.records;
    plan.records.reserve(records.size());
    for (size_t position = 0; position < records.size(); ++position) {
        if (records.isParsed(position)) {
            plan.records.push_back({records.recordId(position), position});
        } else {
            plan.setAside.push_back(position);
        }
    }
    std::stable_sort(plan.records.begin(), plan.records.end(),
                     [](const Sorted& a, const Sorted& b) { return a.number < b.number; });
    std::vector<Sorted> unique;
    unique.reserve(plan.records.size());
    for (const Sorted& entry : plan.records) {
        if (!unique.empty() && unique.back().number == entry.number) {
            if (records.line(unique.back().position) != records.line(entry.position)) {
                plan.setAside.push_back(entry.position);
            }
            continue;
        }
        unique.push_back(entry);
    }
    std::sort(plan.setAside.begin(), plan.setAside.end());
    plan.records = std::move(unique);
    plan.held.assign(plan.records.size(), 0);
}

ArchiveProblem ArchiveWriter::writeInTransaction(const FinishedRead& read, const Progress& progress,
                                                 Plan& plan, WriteOutcome& outcome) {
    const ArchiveResult<qint64> scale = ensureScale(read.identity);
    if (!scale.ok()) {
        return scale.problem;
    }
    ArchiveProblem problem = chooseMemory(read, scale.value, plan);
    if (!problem.ok()) {
        return problem;
    }
    plan.added = static_cast<qint64>(plan.records.size()) - plan.alreadyHeld;
    const ArchiveResult<qint64> readId = insertRead(read, scale.value, plan);
    if (!readId.ok()) {
        return readId.problem;
    }
    plan.readId = readId.value;
    problem = insertRecords(read, progress, plan);
    if (problem.ok()) {
        problem = insertSetAside(read, plan);
    }
    if (problem.ok()) {
        problem = updateMemory(plan);
    }
    if (!problem.ok()) {
        return problem;
    }
    outcome.readId = plan.readId;
    outcome.memoryId = plan.memoryId;
    outcome.newMemory = plan.newMemory;
    outcome.added = plan.added;
    outcome.alreadyHeld = plan.alreadyHeld;
    outcome.setAside = static_cast<qint64>(plan.setAside.size());
    return {};
}

ArchiveResult<qint64> ArchiveWriter::ensureScale(const ReadIdentity& identity) {
    QSqlQuery& insert = statement();
    ArchiveProblem problem =
        db_.run(insert,
                QStringLiteral("INSERT INTO scale (type, serial_number, first_seen) VALUES (?, ?, "
                               "?) ON CONFLICT (type, serial_number) DO NOTHING"),
                {identity.type, qint64(identity.serialNumber), archiveTime({})});
    if (!problem.ok()) {
        return {problem, 0};
    }
    QSqlQuery& select = statement();
    problem =
        db_.run(select, QStringLiteral("SELECT id FROM scale WHERE type = ? AND serial_number = ?"),
                {identity.type, qint64(identity.serialNumber)});
    if (problem.ok() && !select.next()) {
        problem =
            ArchiveProblem::make(Kind::Failed, QStringLiteral("the scale's row went missing"));
    }
    if (!problem.ok()) {
        return {problem, 0};
    }
    return {{}, select.value(0).toLongLong()};
}

ArchiveProblem ArchiveWriter::chooseMemory(const FinishedRead& read, qint64 scaleId, Plan& plan) {
    if (plan.records.empty()) {
        return {};  // a read without records is filed under no memory
    }
    QSqlQuery& list = statement();
    ArchiveProblem problem = db_.run(
        list, QStringLiteral("SELECT id FROM memory WHERE scale_id = ? ORDER BY last_read_id DESC"),
        {scaleId});
    if (!problem.ok()) {
        return problem;
    }
    std::vector<qint64> candidates;
    while (list.next()) {
        const qint64 id = list.value(0).toLongLong();
        if (id == read.excludedMemoryId) {
            continue;
        }
        if (id == read.memoryId) {
            candidates.insert(candidates.begin(), id);
        } else {
            candidates.push_back(id);
        }
    }
    list.finish();
    for (const qint64 candidate : candidates) {
        const ArchiveResult<bool> fit = fits(read, candidate, plan);
        if (!fit.ok()) {
            return fit.problem;
        }
        if (fit.value) {
            plan.memoryId = candidate;
            return {};
        }
    }
    return createMemory(scaleId, plan);
}

// Reads the memory's figures (locking its row on a server, so that two
// writers of one memory take turns) and compares the memory's lines with
// the read's under the same numbers.
ArchiveResult<bool> ArchiveWriter::fits(const FinishedRead& read, qint64 memoryId, Plan& plan) {
    std::fill(plan.held.begin(), plan.held.end(), 0);
    plan.alreadyHeld = 0;
    QSqlQuery& figures = statement();
    ArchiveProblem problem =
        db_.run(figures,
                QStringLiteral("SELECT newest_record, unbroken_top, record_count FROM memory WHERE "
                               "id = ?") +
                    db_.lockRowClause(),
                {memoryId});
    if (!problem.ok() || !figures.next()) {
        return {problem.ok()
                    ? ArchiveProblem::make(Kind::Failed, QStringLiteral("a memory went missing"))
                    : problem,
                false};
    }
    plan.newest = figures.value(0).toLongLong();
    plan.unbrokenTop = figures.value(1).toLongLong();
    plan.recordCount = figures.value(2).toLongLong();
    if (read.announcedCount < plan.newest) {
        return {{}, false};
    }
    QSqlQuery& lines = statement();
    lines.setForwardOnly(true);
    problem = db_.run(lines,
                      QStringLiteral("SELECT record_no, line FROM record WHERE memory_id = "
                                     "? AND record_no BETWEEN ? AND ? ORDER BY record_no"),
                      {memoryId, plan.records.front().number, plan.records.back().number});
    if (!problem.ok()) {
        return {problem, false};
    }
    size_t i = 0;
    while (lines.next()) {
        const qint64 number = lines.value(0).toLongLong();
        while (i < plan.records.size() && plan.records[i].number < number) {
            ++i;
        }
        if (i == plan.records.size()) {
            break;
        }
        if (plan.records[i].number != number) {
            continue;
        }
        if (read.records.line(plan.records[i].position) != lines.value(1).toByteArray()) {
            return {{}, false};
        }
        plan.held[i] = 1;
        ++plan.alreadyHeld;
    }
    return {db_.problemFor(lines.lastError()), plan.alreadyHeld > 0};
}

ArchiveProblem ArchiveWriter::createMemory(qint64 scaleId, Plan& plan) {
    std::fill(plan.held.begin(), plan.held.end(), 0);
    plan.alreadyHeld = 0;
    plan.newest = 0;
    plan.unbrokenTop = 0;
    plan.recordCount = 0;
    QSqlQuery& insert = statement();
    ArchiveProblem problem =
        db_.run(insert,
                QStringLiteral("INSERT INTO memory (scale_id, created_at, newest_record, "
                               "unbroken_top, record_count, last_read_id) VALUES (?, ?, 0, 0, 0, "
                               "0) RETURNING id"),
                {scaleId, archiveTime({})});
    if (problem.ok() && !insert.next()) {
        problem = ArchiveProblem::make(Kind::Failed, QStringLiteral("no key for a new memory"));
    }
    if (problem.ok()) {
        plan.memoryId = insert.value(0).toLongLong();
        plan.newMemory = true;
    }
    return problem;
}

ArchiveResult<qint64> ArchiveWriter::insertRead(const FinishedRead& read, qint64 scaleId,
                                                const Plan& plan) {
    const bool incremental = read.kind == ReadPlan::Kind::Incremental;
    QSqlQuery& insert = statement();
    ArchiveProblem problem = db_.run(
        insert,
        QStringLiteral("INSERT INTO alibi_read (scale_id, memory_id, started_at, finished_at, "
                       "archived_at, connection, kind, stop_after, announced_count, fetched_count, "
                       "added_count, complete, type, serial_number, production_date, column_line) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"),
        {scaleId,
         plan.memoryId != 0 ? QVariant(plan.memoryId) : QVariant(QMetaType(QMetaType::LongLong)),
         archiveTime(read.startedAt), archiveTime(read.finishedAt), archiveTime({}),
         read.connection, incremental ? QStringLiteral("incremental") : QStringLiteral("full"),
         incremental ? read.stopAfter : qint64(0), read.announcedCount,
         static_cast<qint64>(read.records.size()), plan.added, read.complete ? 1 : 0,
         read.identity.type, qint64(read.identity.serialNumber), read.identity.productionDate,
         read.identity.columnLine});
    if (problem.ok() && !insert.next()) {
        problem = ArchiveProblem::make(Kind::Failed, QStringLiteral("no key for the read"));
    }
    if (!problem.ok()) {
        return {problem, 0};
    }
    return {{}, insert.value(0).toLongLong()};
}

ArchiveProblem ArchiveWriter::insertRecords(const FinishedRead& read, const Progress& progress,
                                            Plan& plan) {
    std::vector<size_t> pending;  // positions in the read, by record number
    pending.reserve(static_cast<size_t>(plan.added));
    for (size_t i = 0; i < plan.records.size(); ++i) {
        if (!plan.held[i]) {
            pending.push_back(plan.records[i].position);
        }
    }
    RecordInserter inserter(db_, statement(), statement(), plan.memoryId, plan.readId);
    const size_t group = inserter.groupRows();
    qint64 inserted = 0;
    for (size_t first = 0; first < pending.size(); first += group) {
        const size_t count = std::min(group, pending.size() - first);
        const ArchiveProblem problem =
            inserter.insert(read.records, pending, first, count, inserted);
        if (!problem.ok()) {
            return problem;
        }
        if (progress &&
            !progress(static_cast<qint64>(first + count), static_cast<qint64>(pending.size()))) {
            return ArchiveProblem::make(Kind::Cancelled, QStringLiteral("the write was cancelled"));
        }
    }
    if (inserted != plan.added) {
        return ArchiveProblem::make(
            Kind::Failed, QStringLiteral("another program filed %1 of these records meanwhile")
                              .arg(plan.added - inserted));
    }
    return {};
}

ArchiveProblem ArchiveWriter::insertSetAside(const FinishedRead& read, const Plan& plan) {
    if (plan.setAside.empty()) {
        return {};
    }
    QSqlQuery& insert = statement();
    ArchiveProblem problem = db_.prepare(
        insert, QStringLiteral("INSERT INTO read_line (read_id, position, line) VALUES (?, ?, ?)"));
    for (const size_t position : plan.setAside) {
        if (!problem.ok()) {
            break;
        }
        const QByteArrayView line = read.records.line(position);
        insert.bindValue(0, plan.readId);
        insert.bindValue(1, static_cast<qint64>(position + 1));
        insert.bindValue(2, QByteArray::fromRawData(line.data(), line.size()));
        problem = db_.exec(insert);
    }
    return problem;
}

ArchiveProblem ArchiveWriter::updateMemory(const Plan& plan) {
    if (plan.memoryId == 0) {
        return {};
    }
    qint64 newest = plan.newest;
    for (size_t i = 0; i < plan.records.size(); ++i) {
        if (!plan.held[i]) {
            newest = std::max(newest, plan.records[i].number);
        }
    }
    const ArchiveResult<qint64> top = unbrokenTopAfter(plan);
    if (!top.ok()) {
        return top.problem;
    }
    QSqlQuery& update = statement();
    ArchiveProblem problem =
        db_.run(update,
                QStringLiteral("UPDATE memory SET newest_record = ?, unbroken_top = ?, "
                               "record_count = ?, last_read_id = ? WHERE id = ?"),
                {newest, top.value, plan.recordCount + plan.added, plan.readId, plan.memoryId});
    return problem;
}

// Records only ever join a memory, so its unbroken top only grows: from
// record top + 1, if that is held now, to the end of its run.
ArchiveResult<qint64> ArchiveWriter::unbrokenTopAfter(const Plan& plan) {
    qint64 top = plan.unbrokenTop;
    if (plan.unbrokenTop == plan.newest) {
        // Nothing was held above the top: only this read's records extend it.
        for (size_t i = 0; i < plan.records.size(); ++i) {
            const qint64 number = plan.records[i].number;
            if (plan.held[i] || number <= top) {
                continue;
            }
            if (number != top + 1) {
                break;
            }
            top = number;
        }
        return {{}, top};
    }
    QSqlQuery& next = statement();
    ArchiveProblem problem = db_.run(
        next, QStringLiteral("SELECT count(*) FROM record WHERE memory_id = ? AND record_no = ?"),
        {plan.memoryId, top + 1});
    if (!problem.ok() || !next.next()) {
        return {problem, top};
    }
    if (next.value(0).toLongLong() == 0) {
        return {{}, top};
    }
    QSqlQuery& runEnd = statement();
    problem =
        db_.run(runEnd,
                QStringLiteral("SELECT min(r.record_no) FROM record r WHERE r.memory_id = ? AND "
                               "r.record_no > ? AND NOT EXISTS (SELECT 1 FROM record s WHERE "
                               "s.memory_id = r.memory_id AND s.record_no = r.record_no + 1)"),
                {plan.memoryId, top});
    if (!problem.ok() || !runEnd.next()) {
        return {problem, top};
    }
    return {{}, runEnd.value(0).toLongLong()};
}
