#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "ArchiveConfig.h"
#include "ArchiveRead.h"
#include "RecordSet.h"

// The archive tests run every case against SQLite and against a PostgreSQL
// server that ctest starts (postgres-server.sh, as a fixture) and names in
// the environment variable VESK_ARCHIVE_POSTGRES: the path of its
// "connection" file ("host port user database").
class ArchiveTestBackend {
public:
    // Adds the column "backendName" and one row per backend.
    static void addRows();

    explicit ArchiveTestBackend(const QString& name);
    ~ArchiveTestBackend();

    bool isSqlite() const { return sqlite_; }
    // Empty when the backend can run here; otherwise why not.
    QString unavailableReason() const { return unavailable_; }
    // True when ctest's fixture named a server: then it must work.
    bool serverExpected() const { return serverExpected_; }
    // An empty archive for one test (the previous one is dropped).
    ArchiveConfig freshArchive();
    ArchiveConfig config() const { return config_; }
    // Statements on a connection of the test's own, beside the archive's;
    // false (with the error in `error`) when one fails.
    bool execOwn(const QStringList& statements, QString* error = nullptr);
    // The first value of a query on the test's own connection.
    QVariant ownValue(const QString& sql);
    // Closes the test's own connection (for instance to let go of a lock).
    void closeOwn();

private:
    bool sqlite_;
    bool serverExpected_ = false;
    QString unavailable_;
    std::unique_ptr<QTemporaryDir> dir_;
    ArchiveConfig config_;
    QString ownConnection_;
    int archives_ = 0;
};

// Sets up the backend of the data row in `name`: skips the test when no
// server was named (a run outside ctest), fails it when the named one fails.
#define ARCHIVE_BACKEND_NAMED(variable, name)                \
    ArchiveTestBackend variable(name);                       \
    if (!variable.unavailableReason().isEmpty()) {           \
        if (variable.serverExpected()) {                     \
            QFAIL(qPrintable(variable.unavailableReason())); \
        }                                                    \
        QSKIP(qPrintable(variable.unavailableReason()));     \
    }

// The backend of the current global data row.
#define ARCHIVE_BACKEND(variable)        \
    QFETCH_GLOBAL(QString, backendName); \
    ARCHIVE_BACKEND_NAMED(variable, backendName)

// A simulated alibi memory: record `number` of memory `variant` as the scale
// sends it, and the fields the library parses from that line. Different
// variants give different lines under the same numbers.
QByteArray recordLine(qint64 number, int variant = 0);
// Records from `from` down to `downTo`, in arrival order.
RecordSet scaleRecords(qint64 from, qint64 downTo, int variant = 0);
// The parsed record of a line built by recordLine.
AlibiRecord parsedRecord(qint64 number, int variant, QByteArray (&texts)[4]);

ReadIdentity testIdentity(const QString& type = QStringLiteral("WPT/4"), qint32 serial = 41234);

// A finished read as the read session would hand it over.
FinishedRead finishedRead(const ReadIdentity& identity, qint64 announcedCount, RecordSet records,
                          const ReadPlan& plan = {}, bool complete = true);

// The grid's texts for these records as a read fills the table (standard
// Polish fields): one list per row.
QList<QStringList> gridTexts(const RecordSet& records);

// Compares two record sets entry by entry: lines byte for byte, parsed
// fields exactly (masses by their bits). Empty when equal, else the first
// difference.
QString compareRecordSets(const RecordSet& actual, const RecordSet& expected);

// Passes when the archive call had no problem; otherwise shows it.
#define QVERIFY_ARCHIVE_OK(expression)                                               \
    do {                                                                             \
        const ArchiveProblem problem_ = (expression);                                \
        QVERIFY2(problem_.ok(), qPrintable(archiveProblemName(problem_.kind) +       \
                                           QStringLiteral(": ") + problem_.detail)); \
    } while (false)
