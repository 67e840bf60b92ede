#include "ArchiveTestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <atomic>
#include <cmath>
#include <cstring>

#include "RecordConversion.h"
#include "RecordTableModel.h"
#include "TestSupport.h"

namespace {

QString nextOwnConnection() {
    static std::atomic<int> counter{0};
    return QStringLiteral("archive-test-own-%1").arg(++counter);
}

struct PostgresServer {
    QString host;
    int port = 0;
    QString user;
    QString database;
};

bool readServer(PostgresServer& server, QString* why, bool* expected) {
    const QByteArray path = qgetenv("VESK_ARCHIVE_POSTGRES");
    *expected = !path.isEmpty();
    if (path.isEmpty()) {
        *why = QStringLiteral("no PostgreSQL server: run through ctest, whose fixture starts one");
        return false;
    }
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("the PostgreSQL fixture did not start (no %1)").arg(file.fileName());
        return false;
    }
    const QList<QByteArray> parts = file.readAll().simplified().split(' ');
    if (parts.size() < 4) {
        *why = QStringLiteral("unreadable %1").arg(file.fileName());
        return false;
    }
    server = {QString::fromLatin1(parts[0]), parts[1].toInt(), QString::fromLatin1(parts[2]),
              QString::fromLatin1(parts[3])};
    return true;
}

QString massText(qint64 number, int variant, int salt) {
    // Some masses negative, some a negative zero, so that signs get stored too.
    if (salt == 2 && number % 13 == 0) {
        return QStringLiteral("-0.000");
    }
    const qint64 milli = (number * 37 + variant * 11 + salt * 5) % 20000 - 1000;
    return QString::number(double(milli) / 1000.0, 'f', 3);
}

// The test programs run side by side on one server: each files its archives
// in a database of its own, made on first use and gone with the server.
QString processDatabase(const PostgresServer& server, QString* why) {
    static QString created;
    if (!created.isEmpty()) {
        return created;
    }
    const QString name = QStringLiteral("archive_test_%1").arg(QCoreApplication::applicationPid());
    const QString connection = QStringLiteral("archive-test-admin");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        db.setHostName(server.host);
        db.setPort(server.port);
        db.setUserName(server.user);
        db.setDatabaseName(server.database);
        if (!db.open()) {
            *why = db.lastError().text();
        } else if (QSqlQuery query(db); !query.exec(QStringLiteral("CREATE DATABASE ") + name)) {
            *why = query.lastError().text();
        } else {
            created = name;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return created;
}

}  // namespace

void ArchiveTestBackend::addRows() {
    QTest::addColumn<QString>("backendName");
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    QTest::newRow("postgresql") << QStringLiteral("postgresql");
}

ArchiveTestBackend::ArchiveTestBackend(const QString& name)
    : sqlite_(name == u"sqlite"), ownConnection_(nextOwnConnection()) {
    if (sqlite_) {
        config_.backend = ArchiveBackend::SQLite;
        return;
    }
    PostgresServer server;
    if (!readServer(server, &unavailable_, &serverExpected_)) {
        return;
    }
    config_.backend = ArchiveBackend::PostgreSQL;
    config_.host = server.host;
    config_.port = server.port;
    config_.user = server.user;
    config_.database = processDatabase(server, &unavailable_);
}

ArchiveTestBackend::~ArchiveTestBackend() {
    closeOwn();
}

ArchiveConfig ArchiveTestBackend::freshArchive() {
    config_.busyTimeoutMs = 5000;
    if (sqlite_) {
        dir_ = std::make_unique<QTemporaryDir>();
        config_.sqliteFile = dir_->filePath(QStringLiteral("archive-%1.sqlite").arg(++archives_));
        return config_;
    }
    QString error;
    if (!execOwn(
            {QStringLiteral("DROP SCHEMA public CASCADE"), QStringLiteral("CREATE SCHEMA public")},
            &error)) {
        qWarning("cannot empty the PostgreSQL archive: %s", qPrintable(error));
    }
    return config_;
}

bool ArchiveTestBackend::execOwn(const QStringList& statements, QString* error) {
    QSqlDatabase db = QSqlDatabase::database(ownConnection_, false);
    if (!db.isValid()) {
        db = QSqlDatabase::addDatabase(
            sqlite_ ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), ownConnection_);
        if (sqlite_) {
            db.setDatabaseName(config_.effectiveSqliteFile());
        } else {
            db.setHostName(config_.host);
            db.setPort(config_.port);
            db.setUserName(config_.user);
            db.setDatabaseName(config_.database);
        }
    }
    if (!db.isOpen()) {
        if (!db.open()) {
            if (error != nullptr) {
                *error = db.lastError().text();
            }
            return false;
        }
        if (!sqlite_) {
            QSqlQuery(db).exec(QStringLiteral("SET client_min_messages = warning"));
        }
    }
    QSqlQuery query(db);
    for (const QString& statement : statements) {
        if (!query.exec(statement)) {
            if (error != nullptr) {
                *error = statement + QStringLiteral(": ") + query.lastError().text();
            }
            return false;
        }
    }
    return true;
}

QVariant ArchiveTestBackend::ownValue(const QString& sql) {
    if (!execOwn({})) {
        return {};
    }
    QSqlQuery query(QSqlDatabase::database(ownConnection_, false));
    if (!query.exec(sql) || !query.next()) {
        return {};
    }
    return query.value(0);
}

void ArchiveTestBackend::closeOwn() {
    {
        QSqlDatabase db = QSqlDatabase::database(ownConnection_, false);
        if (!db.isValid()) {
            return;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(ownConnection_);
}

QByteArray recordLine(qint64 number, int variant) {
    const int second = int((number + variant * 7) % 60);
    const int minute = int((number / 60 + variant) % 60);
    QByteArray user = "OP" + QByteArray::number(number % 9);
    if (number % 5 == 0) {
        user = "\xc5\x81ukasz";  // "Łukasz" in UTF-8: bytes above 0x7f kept as they came
    }
    return QByteArray::number(number) + ';' + "2024-01-" +
           QByteArray::number(5 + variant).rightJustified(2, '0') + ';' +
           "12:" + QByteArray::number(minute).rightJustified(2, '0') + ':' +
           QByteArray::number(second).rightJustified(2, '0') + ';' +
           QByteArray::number(number % 1000) + ';' + user + ';' + "P" +
           QByteArray::number(number % 17 + variant * 100) + ';' +
           massText(number, variant, 0).toLatin1() + ';' + massText(number, variant, 1).toLatin1() +
           ';' + massText(number, variant, 2).toLatin1() + ";kg;3;" +
           QByteArray::number(number % 3 == 0 ? 0 : 1) + "\r\n";
}

AlibiRecord parsedRecord(qint64 number, int variant, QByteArray (&texts)[4]) {
    const QList<QByteArray> fields = recordLine(number, variant).split(';');
    texts[0] = fields[1];
    texts[1] = fields[2];
    texts[2] = fields[4];
    texts[3] = fields[5];
    AlibiRecord record{};
    record.recordId = number;
    record.date = texts[0].constData();
    record.time = texts[1].constData();
    record.number = fields[3].toInt();
    record.userId = texts[2].constData();
    record.productId = texts[3].constData();
    record.net = fields[6].toFloat();
    record.gross = fields[7].toFloat();
    record.tare = fields[8].toFloat();
    record.unit = 4;
    record.decimals = 3;
    record.stable = fields[11].trimmed().toInt() != 0;
    return record;
}

RecordSet scaleRecords(qint64 from, qint64 downTo, int variant) {
    RecordSet records;
    QByteArray texts[4];
    for (qint64 number = from; number >= downTo; --number) {
        const AlibiRecord record = parsedRecord(number, variant, texts);
        records.append(recordLine(number, variant), &record);
    }
    return records;
}

ReadIdentity testIdentity(const QString& type, qint32 serial) {
    ReadIdentity identity;
    identity.type = type;
    identity.serialNumber = serial;
    identity.productionDate = QStringLiteral("2019-03-01");
    identity.columnLine = standardColumnLine();
    return identity;
}

FinishedRead finishedRead(const ReadIdentity& identity, qint64 announcedCount, RecordSet records,
                          const ReadPlan& plan, bool complete) {
    FinishedRead read;
    read.identity = identity;
    read.connection = QStringLiteral("COM /dev/ttyUSB0 9600 8 N");
    read.startedAt = QDateTime::currentDateTimeUtc().addSecs(-2);
    read.finishedAt = QDateTime::currentDateTimeUtc();
    read.announcedCount = announcedCount;
    read.applyPlan(plan);
    read.complete = complete;
    read.records = std::move(records);
    return read;
}

QList<QStringList> gridTexts(const RecordSet& records) {
    const RecordLayout layout = standardLayout(Language::Polish);
    const RecordConverter converter(layout, LanguageTexts(Language::Polish), polishFormats());
    RecordBatch batch;
    records.appendRowsTo(batch, converter);
    RecordTableModel table;
    table.setDisplayFormats(polishFormats());
    table.defineFields(layout);
    table.appendRows(std::move(batch));
    QList<QStringList> rows;
    for (int row = 0; row < table.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table.columnCount(); ++column) {
            cells.append(table.cellText(row, column));
        }
        rows.append(cells);
    }
    return rows;
}

namespace {

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

bool sameText(const char* a, const char* b) {
    return std::strcmp(a, b) == 0;
}

}  // namespace

QString compareRecordSets(const RecordSet& actual, const RecordSet& expected) {
    if (actual.size() != expected.size()) {
        return QStringLiteral("%1 records where %2 were expected")
            .arg(actual.size())
            .arg(expected.size());
    }
    for (size_t i = 0; i < actual.size(); ++i) {
        const QString where = QStringLiteral("position %1: ").arg(i);
        if (actual.line(i) != expected.line(i)) {
            return where + QStringLiteral("line differs");
        }
        if (actual.isParsed(i) != expected.isParsed(i)) {
            return where + QStringLiteral("parsed differs");
        }
        if (!actual.isParsed(i)) {
            continue;
        }
        const AlibiRecord a = actual.record(i);
        const AlibiRecord e = expected.record(i);
        if (a.recordId != e.recordId || a.number != e.number || a.unit != e.unit ||
            a.decimals != e.decimals || a.stable != e.stable || !sameText(a.date, e.date) ||
            !sameText(a.time, e.time) || !sameText(a.userId, e.userId) ||
            !sameText(a.productId, e.productId) || !sameBits(a.net, e.net) ||
            !sameBits(a.gross, e.gross) || !sameBits(a.tare, e.tare)) {
            return where + QStringLiteral("fields differ (record %1)").arg(a.recordId);
        }
    }
    return {};
}
