#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include "ArchiveConfig.h"
#include "ArchiveProblem.h"

class QSqlError;

// One Qt SQL connection to the archive and the few places where SQLite and
// PostgreSQL need different words. Everything else of the archive is written
// once for both.
//
// Qt SQL connections belong to the thread that opened them: open, use and
// close an ArchiveDatabase on one thread.
class ArchiveDatabase {
public:
    ArchiveDatabase();
    ~ArchiveDatabase();
    ArchiveDatabase(const ArchiveDatabase&) = delete;
    ArchiveDatabase& operator=(const ArchiveDatabase&) = delete;

    // Connects and sets the connection up: SQLite in write-ahead-log mode
    // with full syncs and foreign keys, both with the busy timeout.
    ArchiveProblem open(const ArchiveConfig& config);
    void close();
    bool isOpen() const { return open_; }
    ArchiveBackend backend() const { return backend_; }
    bool isSqlite() const { return backend_ == ArchiveBackend::SQLite; }
    // The file or the server, for messages.
    QString location() const { return location_; }

    // A query on this connection.
    QSqlQuery query() const;
    ArchiveProblem exec(const QString& sql);
    ArchiveProblem prepare(QSqlQuery& query, const QString& sql) const;
    ArchiveProblem exec(QSqlQuery& query) const;
    // Prepares the statement, binds the values in order and runs it.
    ArchiveProblem run(QSqlQuery& query, const QString& sql, const QVariantList& values) const;
    // The first column of the first row; the problem when the query fails
    // or returns no row.
    ArchiveResult<QVariant> scalar(const QString& sql);

    // A write transaction: SQLite takes the write lock at once, so that a
    // busy archive shows at the start rather than half-way.
    ArchiveProblem beginWrite();
    ArchiveProblem commit();
    void rollback();

    // What a failed statement means for the caller.
    ArchiveProblem problemFor(const QSqlError& error) const;

    // Dialect.
    QString idColumn() const;   // an automatic 64-bit key
    QString bytesType() const;  // bytes kept exactly
    QString recordTableOptions() const;
    QString lockRowClause() const;  // locks a selected row to the end of the transaction

private:
    ArchiveProblem openSqlite(const ArchiveConfig& config);
    ArchiveProblem openPostgres(const ArchiveConfig& config);
    ArchiveProblem setUp(const QStringList& statements);

    QString connectionName_;
    QSqlDatabase db_;
    ArchiveBackend backend_ = ArchiveBackend::SQLite;
    QString location_;
    bool open_ = false;
};
