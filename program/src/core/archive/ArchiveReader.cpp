#include "ArchiveReader.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <charconv>
#include <cmath>

#include "ArchiveDatabase.h"
#include "ArchiveTime.h"

namespace {

using Kind = ArchiveProblem::Kind;

float massFrom(const QVariant& stored) {
    const QByteArray text = stored.toString().toLatin1();
    float mass = std::nanf("");
    std::from_chars(text.constData(), text.constData() + text.size(), mass);
    return mass;
}

// Holds the texts of one row while the record set copies them.
struct LoadedRow {
    QByteArray date;
    QByteArray time;
    QByteArray userId;
    QByteArray productId;
};

ArchiveProblem notOpen() {
    return ArchiveProblem::make(Kind::NotOpen, QStringLiteral("the archive is not open"));
}

}  // namespace

ArchiveResult<ArchiveSnapshot> ArchiveReader::loadSnapshot() {
    if (!db_.isOpen()) {
        return {notOpen(), {}};
    }
    QSqlQuery memories = db_.query();
    memories.setForwardOnly(true);
    if (!memories.exec(QStringLiteral(
            "SELECT s.id, s.type, s.serial_number, m.id, m.newest_record, m.unbroken_top, "
            "m.record_count, (SELECT max(a.id) FROM alibi_read a WHERE a.memory_id = m.id AND "
            "a.complete = 1) FROM memory m JOIN scale s ON s.id = m.scale_id ORDER BY s.id, "
            "m.last_read_id DESC"))) {
        return {db_.problemFor(memories.lastError()), {}};
    }
    struct Choice {
        ScaleKey key;
        MemoryState memory;
        qint64 lastComplete = 0;
    };
    std::vector<Choice> choices;
    qint64 scaleId = 0;
    while (memories.next()) {
        Choice candidate;
        candidate.key = {memories.value(1).toString(), memories.value(2).toInt()};
        candidate.memory.memoryId = memories.value(3).toLongLong();
        candidate.memory.newestNumber = memories.value(4).toLongLong();
        candidate.memory.unbrokenTop = memories.value(5).toLongLong();
        candidate.memory.recordCount = memories.value(6).toLongLong();
        candidate.lastComplete = memories.value(7).isNull() ? 0 : memories.value(7).toLongLong();
        const qint64 id = memories.value(0).toLongLong();
        if (choices.empty() || id != scaleId) {
            scaleId = id;
            choices.push_back(std::move(candidate));  // the most recently written
        } else if (candidate.lastComplete > choices.back().lastComplete) {
            choices.back() = std::move(candidate);
        }
    }
    const ArchiveProblem problem = db_.problemFor(memories.lastError());
    memories.finish();
    if (!problem.ok()) {
        return {problem, {}};
    }
    ArchiveSnapshot snapshot;
    for (Choice& choice : choices) {
        const ArchiveProblem lines = loadUpperLines(choice.memory);
        if (!lines.ok()) {
            return {lines, {}};
        }
        snapshot.setMemory(choice.key, std::move(choice.memory));
    }
    return {{}, std::move(snapshot)};
}

ArchiveProblem ArchiveReader::loadUpperLines(MemoryState& memory) {
    if (memory.unbrokenTop < 1) {
        return {};  // such a memory is read in full: nothing to compare
    }
    QSqlQuery lines = db_.query();
    lines.setForwardOnly(true);
    ArchiveProblem problem =
        db_.run(lines,
                QStringLiteral("SELECT record_no, line FROM record WHERE memory_id = ? AND "
                               "record_no >= ? ORDER BY record_no"),
                {memory.memoryId, memory.unbrokenTop});
    while (problem.ok() && lines.next()) {
        memory.upperLines.emplace(lines.value(0).toLongLong(), lines.value(1).toByteArray());
    }
    return problem.ok() ? db_.problemFor(lines.lastError()) : problem;
}

ArchiveResult<RecordSet> ArchiveReader::loadRecords(qint64 memoryId, qint64 belowNumber) {
    if (!db_.isOpen()) {
        return {notOpen(), {}};
    }
    RecordSet records;
    const ArchiveResult<QVariant> count =
        db_.scalar(QStringLiteral("SELECT record_count FROM memory WHERE id = %1").arg(memoryId));
    if (count.ok()) {
        // About a line and its fields a record.
        const auto expected = static_cast<size_t>(std::max<qint64>(0, count.value.toLongLong()));
        records.reserve(expected, expected * 112);
    }
    QSqlQuery rows = db_.query();
    rows.setForwardOnly(true);
    ArchiveProblem problem =
        db_.run(rows,
                QStringLiteral("SELECT record_no, line, rec_date, rec_time, number, user_id, "
                               "product_id, net, gross, tare, unit, decimals, stable FROM record "
                               "WHERE memory_id = ? AND record_no < ? ORDER BY record_no DESC"),
                {memoryId, belowNumber});
    LoadedRow texts;
    while (problem.ok() && rows.next()) {
        texts.date = rows.value(2).toByteArray();
        texts.time = rows.value(3).toByteArray();
        texts.userId = rows.value(5).toByteArray();
        texts.productId = rows.value(6).toByteArray();
        AlibiRecord record{};
        record.recordId = rows.value(0).toLongLong();
        record.date = texts.date.constData();
        record.time = texts.time.constData();
        record.number = rows.value(4).toInt();
        record.userId = texts.userId.constData();
        record.productId = texts.productId.constData();
        record.net = massFrom(rows.value(7));
        record.gross = massFrom(rows.value(8));
        record.tare = massFrom(rows.value(9));
        record.unit = rows.value(10).toInt();
        record.decimals = static_cast<qint16>(rows.value(11).toInt());
        record.stable = rows.value(12).toInt() != 0;
        const QByteArray line = rows.value(1).toByteArray();
        records.append(line, &record);
    }
    if (problem.ok()) {
        problem = db_.problemFor(rows.lastError());
    }
    if (!problem.ok()) {
        return {problem, {}};
    }
    return {{}, std::move(records)};
}

ArchiveResult<MemoryContent> ArchiveReader::loadMemory(qint64 memoryId) {
    if (!db_.isOpen()) {
        return {notOpen(), {}};
    }
    QSqlQuery identity = db_.query();
    ArchiveProblem problem =
        db_.run(identity,
                QStringLiteral("SELECT a.type, a.serial_number, a.production_date, "
                               "a.column_line FROM memory m JOIN alibi_read a ON a.id = "
                               "m.last_read_id WHERE m.id = ?"),
                {memoryId});
    if (problem.ok() && !identity.next()) {
        problem = ArchiveProblem::make(
            Kind::Failed, QStringLiteral("the archive holds no memory %1").arg(memoryId));
    }
    if (!problem.ok()) {
        return {problem, {}};
    }
    MemoryContent content;
    content.memoryId = memoryId;
    content.identity.type = identity.value(0).toString();
    content.identity.serialNumber = identity.value(1).toInt();
    content.identity.productionDate = identity.value(2).toString();
    content.identity.columnLine = identity.value(3).toString();
    identity.finish();
    ArchiveResult<RecordSet> records = loadRecords(memoryId);
    if (!records.ok()) {
        return {records.problem, {}};
    }
    content.records = std::move(records.value);
    return {{}, std::move(content)};
}

ArchiveResult<std::vector<ArchivedScale>> ArchiveReader::listScales() {
    if (!db_.isOpen()) {
        return {notOpen(), {}};
    }
    QSqlQuery rows = db_.query();
    rows.setForwardOnly(true);
    if (!rows.exec(QStringLiteral(
            "SELECT s.id, s.type, s.serial_number, a.production_date, m.id, m.created_at, "
            "a.finished_at, m.record_count, m.newest_record, m.unbroken_top FROM scale s JOIN "
            "memory m ON m.scale_id = s.id JOIN alibi_read a ON a.id = m.last_read_id ORDER BY "
            "s.type, s.serial_number, s.id, m.last_read_id DESC"))) {
        return {db_.problemFor(rows.lastError()), {}};
    }
    std::vector<ArchivedScale> scales;
    while (rows.next()) {
        const qint64 scaleId = rows.value(0).toLongLong();
        if (scales.empty() || scales.back().scaleId != scaleId) {
            ArchivedScale scale;
            scale.scaleId = scaleId;
            scale.type = rows.value(1).toString();
            scale.serialNumber = rows.value(2).toInt();
            scale.productionDate = rows.value(3).toString();
            scales.push_back(std::move(scale));
        }
        ArchivedMemory memory;
        memory.memoryId = rows.value(4).toLongLong();
        memory.createdAt = fromArchiveTime(rows.value(5).toString());
        memory.lastReadAt = fromArchiveTime(rows.value(6).toString());
        memory.recordCount = rows.value(7).toLongLong();
        memory.newestNumber = rows.value(8).toLongLong();
        memory.unbrokenTop = rows.value(9).toLongLong();
        scales.back().memories.push_back(memory);
    }
    const ArchiveProblem problem = db_.problemFor(rows.lastError());
    if (!problem.ok()) {
        return {problem, {}};
    }
    return {{}, std::move(scales)};
}
