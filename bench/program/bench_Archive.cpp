// Figures for the record archive, on SQLite and, given a server, on
// PostgreSQL: how long archiving a read takes (a first full read of 100,000
// records, the same read again, an incremental read of 50 new records), how
// long loading a memory of 1,000,000 records into the record table takes,
// and how many bytes a record takes on disk.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>

#include "IncrementalRead.h"
#include "LanguageTexts.h"
#include "RecordArchive.h"
#include "RecordConversion.h"
#include "RecordLayout.h"
#include "RecordTableModel.h"

namespace {

const QString kColumnLine =
    QStringLiteral("REC_ID;TIME;NUM;USER_ID;PROD_ID;NET;GROSS;TARE;UNIT;STB\r\n");

void print(const char* what, double value, const char* unit) {
    std::printf("%-62s %10.1f %s\n", what, value, unit);
    std::fflush(stdout);
}

DisplayFormats polishFormats() {
    return DisplayFormats(QLocale(QLocale::Polish, QLocale::Poland), QStringLiteral("dd.MM.yyyy"),
                          QStringLiteral("HH:mm:ss"));
}

// Lines as a scale writes them, about 70 bytes each.
QByteArray line(qint64 number, QByteArray (&texts)[4], AlibiRecord& record) {
    texts[0] = "2024-" + QByteArray::number(1 + number % 12).rightJustified(2, '0') + '-' +
               QByteArray::number(1 + number % 28).rightJustified(2, '0');
    texts[1] = "12:" + QByteArray::number(number / 60 % 60).rightJustified(2, '0') + ':' +
               QByteArray::number(number % 60).rightJustified(2, '0');
    texts[2] = "OPER" + QByteArray::number(number % 7);
    texts[3] = "FLOUR-" + QByteArray::number(number % 25);
    const QByteArray net = QByteArray::number(double(number % 5000) / 1000.0, 'f', 3);
    const QByteArray gross = QByteArray::number(double(number % 5000) / 1000.0 + 0.25, 'f', 3);
    record = AlibiRecord{};
    record.recordId = number;
    record.date = texts[0].constData();
    record.time = texts[1].constData();
    record.number = static_cast<int32_t>(number % 500);
    record.userId = texts[2].constData();
    record.productId = texts[3].constData();
    record.net = net.toFloat();
    record.gross = gross.toFloat();
    record.tare = 0.25f;
    record.unit = 4;
    record.decimals = 3;
    record.stable = number % 3 != 0;
    return QByteArray::number(number) + ';' + texts[0] + ';' + texts[1] + ';' +
           QByteArray::number(record.number) + ';' + texts[2] + ';' + texts[3] + ';' + net + ';' +
           gross + ";0.250;kg;3;" + (record.stable ? "1" : "0") + "\r\n";
}

RecordSet records(qint64 from, qint64 downTo) {
    RecordSet set;
    set.reserve(static_cast<size_t>(from - downTo + 1),
                static_cast<size_t>(from - downTo + 1) * 120);
    QByteArray texts[4];
    AlibiRecord record;
    for (qint64 number = from; number >= downTo; --number) {
        const QByteArray text = line(number, texts, record);
        set.append(text, &record);
    }
    return set;
}

FinishedRead read(qint64 count, RecordSet set, const ReadPlan& plan) {
    FinishedRead finished;
    finished.identity = {QStringLiteral("WPT/4"), 41234, QStringLiteral("2019-03-01"), kColumnLine};
    finished.connection = QStringLiteral("COM /dev/ttyUSB0 115200 8 E");
    finished.startedAt = QDateTime::currentDateTimeUtc();
    finished.finishedAt = finished.startedAt;
    finished.announcedCount = count;
    finished.applyPlan(plan);
    finished.complete = true;
    finished.records = std::move(set);
    return finished;
}

template <typename Work>
double ms(Work work) {
    QElapsedTimer clock;
    clock.start();
    work();
    return clock.nsecsElapsed() / 1e6;
}

bool check(const ArchiveProblem& problem, const char* what) {
    if (!problem.ok()) {
        std::printf("%s FAILED: %s: %s\n", what, qPrintable(archiveProblemName(problem.kind)),
                    qPrintable(problem.detail));
    }
    return problem.ok();
}

// The incremental read the session would make on top of the archive.
FinishedRead incremental(RecordArchive& archive, qint64 count) {
    const ArchiveSnapshot snapshot = archive.loadSnapshot().value;
    const ReadPlan plan =
        planRead(snapshot, {QStringLiteral("WPT/4"), 41234}, count, ReadMode::Automatic);
    FinishedRead next = read(count, records(count, plan.stopAfter), plan);
    next.applyVerdict(verifyIncremental(snapshot, plan, count, next.records, true));
    return next;
}

bool measureWrites(RecordArchive& archive, const char* backend) {
    std::printf("--- %s\n", backend);
    FinishedRead first = read(100000, records(100000, 1), {});
    WriteOutcome outcome;
    double took = ms([&] { outcome = archive.write(first); });
    if (!check(outcome.problem, "first write")) {
        return false;
    }
    print("archive a first full read of 100,000 records", took, "ms");
    took = ms([&] {
        outcome =
            archive.write(read(100000, first.records, planRead(nullptr, 100000, ReadMode::Full)));
    });
    if (!check(outcome.problem, "repeat write") || outcome.added != 0) {
        return false;
    }
    print("archive the same 100,000 records again (all held, checked)", took, "ms");
    ArchiveResult<ArchiveSnapshot> snapshot;
    took = ms([&] { snapshot = archive.loadSnapshot(); });
    print("snapshot before a read (100,000 archived)", took, "ms");
    FinishedRead next = incremental(archive, 100050);
    took = ms([&] { outcome = archive.write(next); });
    if (!check(outcome.problem, "incremental write") || outcome.added != 50) {
        return false;
    }
    print("archive an incremental read (50 new records + the check)", took, "ms");
    ArchiveResult<RecordSet> older;
    took = ms([&] { older = archive.loadRecords(outcome.memoryId, next.stopAfter); });
    print("load the 100,000 archived older records for the grid", took, "ms");
    return check(older.problem, "load older");
}

// Grows the memory to a million records in reads of 100,000, as a scale
// read now and then would, then loads it into the record table.
bool measureLargeMemory(RecordArchive& archive) {
    qint64 count = 100050;
    double writing = 0;
    while (count < 1000000) {
        const qint64 next = std::min<qint64>(count + 100000, 1000000);
        FinishedRead grown = incremental(archive, next);
        WriteOutcome outcome;
        writing += ms([&] { outcome = archive.write(grown); });
        if (!check(outcome.problem, "growing write")) {
            return false;
        }
        count = next;
    }
    print("archive 9 incremental reads of ~100,000 new records, each", writing / 9, "ms");
    const qint64 memoryId =
        archive.loadSnapshot().value.memoryFor({QStringLiteral("WPT/4"), 41234})->memoryId;
    ArchiveResult<MemoryContent> content;
    const double loading = ms([&] { content = archive.loadMemory(memoryId); });
    if (!check(content.problem, "load memory")) {
        return false;
    }
    RecordTableModel table;
    table.setDisplayFormats(polishFormats());
    const double filling = ms([&] {
        const RecordLayout layout =
            RecordLayout::fromColumnLine(content.value.identity.columnLine, LanguageTexts());
        const RecordConverter converter(layout, LanguageTexts(), polishFormats());
        RecordBatch batch;
        content.value.records.appendRowsTo(batch, converter);
        table.defineFields(layout);
        table.appendRows(std::move(batch));
    });
    print("load 1,000,000 archived records (database to record set)", loading, "ms");
    print("fill the record table from them (convert, rows in the model)", filling, "ms");
    print("load 1,000,000 archived records into the record table, total", loading + filling, "ms");
    if (table.rowCount() != 1000000) {
        std::printf("the table holds %d rows FAILED\n", table.rowCount());
        return false;
    }
    ArchiveResult<ArchiveSnapshot> snapshot;
    print("snapshot before a read (1,000,000 archived)",
          ms([&] { snapshot = archive.loadSnapshot(); }), "ms");
    ArchiveProblem problem;
    print("thorough integrity check, 1,000,000 records",
          ms([&] { problem = archive.integrityCheck(); }), "ms");
    return check(problem, "integrity check");
}

qint64 recordsIn(const QSqlDatabase& db) {
    QSqlQuery query(db);
    return query.exec(QStringLiteral("SELECT count(*) FROM record")) && query.next()
               ? query.value(0).toLongLong()
               : 0;
}

void sqliteSize(const QString& file, const char* when) {
    const qint64 bytes = QFileInfo(file).size() + QFileInfo(file + QStringLiteral("-wal")).size();
    qint64 records = 0;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("size"));
        db.setDatabaseName(file);
        if (db.open()) {
            records = recordsIn(db);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("size"));
    std::printf("%-62s %10.1f bytes (%.1f MiB, %lld records)\n", when,
                records > 0 ? double(bytes) / double(records) : 0.0, bytes / 1048576.0,
                static_cast<long long>(records));
}

bool benchSqlite(bool large) {
    QTemporaryDir dir;
    ArchiveConfig config;
    config.sqliteFile = dir.filePath(QStringLiteral("archive.sqlite"));
    {
        RecordArchive archive;
        if (!check(archive.open(config), "open") || !measureWrites(archive, "SQLite")) {
            return false;
        }
    }
    sqliteSize(config.sqliteFile, "SQLite size on disk per record, 100,050 records");
    if (!large) {
        return true;
    }
    {
        RecordArchive archive;
        if (!check(archive.open(config), "open") || !measureLargeMemory(archive)) {
            return false;
        }
    }
    sqliteSize(config.sqliteFile, "SQLite size on disk per record, 1,000,000 records");
    RecordArchive archive;
    ArchiveProblem problem;
    print("open with the quick check, 1,000,000 records",
          ms([&] { problem = archive.open(config); }), "ms");
    return check(problem, "reopen");
}

// Runs `work` on a connection of the benchmark's own to the server's
// database, beside the archive's.
template <typename Work>
void withServer(const ArchiveConfig& server, Work work) {
    const QString name = QStringLiteral("bench-server");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(server.host);
        db.setPort(server.port);
        db.setUserName(server.user);
        db.setDatabaseName(server.database);
        if (db.open()) {
            work(db);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

// The benchmark files its records in a database of its own, made and
// dropped here, and leaves the given one as it was.
bool serverStatement(const ArchiveConfig& server, const QString& sql) {
    bool ok = false;
    withServer(server, [&](QSqlDatabase& db) { ok = QSqlQuery(db).exec(sql); });
    return ok;
}

void postgresSize(const ArchiveConfig& config) {
    withServer(config, [](QSqlDatabase& db) {
        QSqlQuery size(db);
        if (size.exec(
                QStringLiteral("SELECT pg_total_relation_size('record'), count(*) FROM record")) &&
            size.next()) {
            std::printf("%-62s %10.1f bytes (%lld records)\n",
                        "PostgreSQL size of the record table per record",
                        size.value(0).toDouble() / size.value(1).toDouble(),
                        size.value(1).toLongLong());
        }
    });
}

bool benchPostgres(const QString& connectionFile, bool large) {
    QFile file(connectionFile);
    if (!file.open(QIODevice::ReadOnly)) {
        std::printf("cannot read %s\n", qPrintable(connectionFile));
        return false;
    }
    const QList<QByteArray> parts = file.readAll().simplified().split(' ');
    if (parts.size() < 4) {
        return false;
    }
    ArchiveConfig server;
    server.backend = ArchiveBackend::PostgreSQL;
    server.host = QString::fromLatin1(parts[0]);
    server.port = parts[1].toInt();
    server.user = QString::fromLatin1(parts[2]);
    server.database = QString::fromLatin1(parts[3]);
    const QString benchDatabase = QStringLiteral("vesk_archive_bench");
    serverStatement(server, QStringLiteral("DROP DATABASE IF EXISTS ") + benchDatabase);
    if (!serverStatement(server, QStringLiteral("CREATE DATABASE ") + benchDatabase)) {
        std::printf("cannot create the database %s\n", qPrintable(benchDatabase));
        return false;
    }
    ArchiveConfig config = server;
    config.database = benchDatabase;
    bool ok = false;
    {
        RecordArchive archive;
        ok = check(archive.open(config), "open") && measureWrites(archive, "PostgreSQL") &&
             (!large || measureLargeMemory(archive));
    }
    if (ok) {
        postgresSize(config);
    }
    serverStatement(server, QStringLiteral("DROP DATABASE ") + benchDatabase);
    return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const bool large = !arguments.contains(QStringLiteral("--skip-large"));
    bool ok = benchSqlite(large);
    const qsizetype postgres = arguments.indexOf(QStringLiteral("--postgres"));
    if (postgres > 0 && postgres + 1 < arguments.size()) {
        ok = benchPostgres(arguments[postgres + 1], large) && ok;
    }
    return ok ? 0 : 1;
}
