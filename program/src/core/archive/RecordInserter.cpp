#include "RecordInserter.h"

#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <charconv>
#include <cstring>

#include "ArchiveDatabase.h"
#include "RecordSet.h"

namespace {

// Fewer round trips to a server, and far below both engines' limits on
// bound values (15 a row).
constexpr size_t kGroupRows = 100;

const char* const kColumns =
    "memory_id, record_no, read_id, line, rec_date, rec_time, number, user_id, product_id, net, "
    "gross, tare, unit, decimals, stable";
constexpr int kColumnCount = 15;

// The safety net for a record that another writer filed meanwhile.
const char* const kOnConflict = " ON CONFLICT (memory_id, record_no) DO NOTHING";

QString rowsSql(size_t rows) {
    const QString row = QStringLiteral("(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    QString sql = QStringLiteral("INSERT INTO record (%1) VALUES ").arg(QLatin1String(kColumns));
    sql.reserve(sql.size() + qsizetype(rows) * (row.size() + 2) + 64);
    for (size_t i = 0; i < rows; ++i) {
        if (i > 0) {
            sql += QLatin1String(", ");
        }
        sql += row;
    }
    return sql + QLatin1String(kOnConflict);
}

QVariant bytes(const char* text) {
    return QVariant(QByteArray::fromRawData(text, qsizetype(std::strlen(text))));
}

// The shortest text that reads back as the same float, whatever the locale:
// "-0" and "nan" included, which a floating column would not all keep.
QString massText(float mass) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, mass);
    return QString::fromLatin1(text, result.ptr - text);
}

}  // namespace

RecordInserter::RecordInserter(ArchiveDatabase& db, QSqlQuery& group, QSqlQuery& remainder,
                               qint64 memoryId, qint64 readId)
    : db_(db), group_(group), remainder_(remainder), memoryId_(memoryId), readId_(readId) {}

size_t RecordInserter::groupRows() const {
    return kGroupRows;
}

ArchiveProblem RecordInserter::prepare(QSqlQuery& statement, size_t rows) {
    return db_.prepare(statement, rowsSql(rows));
}

ArchiveProblem RecordInserter::insert(const RecordSet& records,
                                      const std::vector<size_t>& positions, size_t first,
                                      size_t count, qint64& inserted) {
    const bool whole = count == groupRows();
    QSqlQuery& statement = whole ? group_ : remainder_;
    ArchiveProblem problem;
    if (!whole || !groupPrepared_) {
        problem = prepare(statement, count);
        groupPrepared_ = groupPrepared_ || (whole && problem.ok());
    }
    if (!problem.ok()) {
        return problem;
    }
    bindRows(statement, records, positions, first, count);
    problem = db_.exec(statement);
    if (problem.ok()) {
        inserted += statement.numRowsAffected();
    }
    return problem;
}

void RecordInserter::bindRows(QSqlQuery& statement, const RecordSet& records,
                              const std::vector<size_t>& positions, size_t first,
                              size_t count) const {
    const QVariant memoryId(memoryId_);
    const QVariant readId(readId_);
    for (size_t row = 0; row < count; ++row) {
        const size_t position = positions[first + row];
        const AlibiRecord record = records.record(position);
        const QByteArrayView line = records.line(position);
        const int base = static_cast<int>(row) * kColumnCount;
        statement.bindValue(base + 0, memoryId);
        statement.bindValue(base + 1, qint64(record.recordId));
        statement.bindValue(base + 2, readId);
        statement.bindValue(base + 3, QByteArray::fromRawData(line.data(), line.size()));
        statement.bindValue(base + 4, bytes(record.date));
        statement.bindValue(base + 5, bytes(record.time));
        statement.bindValue(base + 6, record.number);
        statement.bindValue(base + 7, bytes(record.userId));
        statement.bindValue(base + 8, bytes(record.productId));
        statement.bindValue(base + 9, massText(record.net));
        statement.bindValue(base + 10, massText(record.gross));
        statement.bindValue(base + 11, massText(record.tare));
        statement.bindValue(base + 12, record.unit);
        statement.bindValue(base + 13, int(record.decimals));
        statement.bindValue(base + 14, record.stable ? 1 : 0);
    }
}
