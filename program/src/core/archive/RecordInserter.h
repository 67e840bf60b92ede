#pragma once

#include <QSqlQuery>
#include <vector>

#include "ArchiveProblem.h"

class ArchiveDatabase;
class RecordSet;

// Inserts a read's new records into one memory, a group of rows per
// multi-row INSERT, the same statement for both backends.
class RecordInserter {
public:
    // The statements are the caller's, kept until its transaction is over.
    RecordInserter(ArchiveDatabase& db, QSqlQuery& group, QSqlQuery& remainder, qint64 memoryId,
                   qint64 readId);

    // Rows per statement.
    size_t groupRows() const;

    // Inserts the records at positions[first .. first + count) of the set
    // (count at most groupRows()); adds the rows the database took to
    // `inserted`.
    ArchiveProblem insert(const RecordSet& records, const std::vector<size_t>& positions,
                          size_t first, size_t count, qint64& inserted);

private:
    ArchiveProblem prepare(QSqlQuery& statement, size_t rows);
    void bindRows(QSqlQuery& statement, const RecordSet& records,
                  const std::vector<size_t>& positions, size_t first, size_t count) const;

    ArchiveDatabase& db_;
    QSqlQuery& group_;
    QSqlQuery& remainder_;
    bool groupPrepared_ = false;
    qint64 memoryId_;
    qint64 readId_;
};
