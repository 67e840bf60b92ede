#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTest>

#include "ArchiveTestSupport.h"
#include "RecordArchive.h"

Q_DECLARE_METATYPE(ArchiveProblem::Kind)

namespace {

using Kind = ArchiveProblem::Kind;

// Generous: the point is that the answer comes, not how fast.
constexpr qint64 kAnswerWithinMs = 20000;

#define FETCH_BACKEND(variable)   \
    QFETCH(QString, backendName); \
    ARCHIVE_BACKEND_NAMED(variable, backendName)

void addBackendColumn() {
    QTest::addColumn<QString>("backendName");
}

WriteOutcome writeSmallRead(RecordArchive& archive, qint64 count = 5) {
    return archive.write(finishedRead(testIdentity(), count, scaleRecords(count, 1)));
}

QString kindName(Kind kind) {
    return archiveProblemName(kind);
}

}  // namespace

class ArchiveFaultsTest : public QObject {
    Q_OBJECT

private slots:
    void aBusyArchiveAnswersLockedAndRecovers_data() {
        addBackendColumn();
        QTest::addColumn<QStringList>("lock");
        QTest::newRow("sqlite: another writer")
            << QStringLiteral("sqlite") << QStringList{QStringLiteral("BEGIN IMMEDIATE")};
        QTest::newRow("postgresql: a table lock")
            << QStringLiteral("postgresql")
            << QStringList{QStringLiteral("BEGIN"),
                           QStringLiteral("LOCK TABLE scale IN EXCLUSIVE MODE")};
    }

    void aBusyArchiveAnswersLockedAndRecovers() {
        FETCH_BACKEND(backend);
        QFETCH(QStringList, lock);
        ArchiveConfig config = backend.freshArchive();
        config.busyTimeoutMs = 300;
        RecordArchive archive;
        QVERIFY_ARCHIVE_OK(archive.open(config));
        QString error;
        QVERIFY2(backend.execOwn(lock, &error), qPrintable(error));

        QElapsedTimer clock;
        clock.start();
        const WriteOutcome blocked = writeSmallRead(archive);
        QCOMPARE(kindName(blocked.problem.kind), kindName(Kind::Locked));
        QVERIFY(clock.elapsed() < kAnswerWithinMs);
        QVERIFY(!blocked.problem.detail.isEmpty());
        // Reading goes on meanwhile.
        QVERIFY_ARCHIVE_OK(archive.loadSnapshot().problem);

        QVERIFY(backend.execOwn({QStringLiteral("ROLLBACK")}));
        QVERIFY_ARCHIVE_OK(writeSmallRead(archive).problem);
        QCOMPARE(backend.ownValue(QStringLiteral("SELECT count(*) FROM alibi_read")).toLongLong(),
                 qint64(1));
    }

    void aFileLockedByAnotherProgramCannotBeOpened() {
        ArchiveTestBackend backend(QStringLiteral("sqlite"));
        ArchiveConfig config = backend.freshArchive();
        config.busyTimeoutMs = 300;
        {
            RecordArchive archive;
            QVERIFY_ARCHIVE_OK(archive.open(config));
        }
        // Another program holds the whole file, as a rollback-journal writer does.
        QString error;
        QVERIFY2(backend.execOwn({QStringLiteral("PRAGMA journal_mode=DELETE"),
                                  QStringLiteral("BEGIN EXCLUSIVE")},
                                 &error),
                 qPrintable(error));
        QElapsedTimer clock;
        clock.start();
        RecordArchive archive;
        const ArchiveProblem problem = archive.open(config);
        QCOMPARE(kindName(problem.kind), kindName(Kind::Locked));
        QVERIFY(clock.elapsed() < kAnswerWithinMs);
        QVERIFY(!archive.isOpen());
        QCOMPARE(kindName(writeSmallRead(archive).problem.kind), kindName(Kind::NotOpen));
    }

    void aDamagedArchiveIsRefused_data() {
        addBackendColumn();
        QTest::addColumn<QString>("damage");
        QTest::addColumn<ArchiveProblem::Kind>("kind");
        QTest::newRow("sqlite: garbage") << "sqlite"
                                         << "garbage" << Kind::Damaged;
        QTest::newRow("sqlite: pages overwritten") << "sqlite"
                                                   << "pages" << Kind::Damaged;
        QTest::newRow("sqlite: another program's database") << "sqlite"
                                                            << "foreign" << Kind::Damaged;
        QTest::newRow("sqlite: a table missing") << "sqlite"
                                                 << "table" << Kind::Damaged;
        QTest::newRow("sqlite: a newer layout") << "sqlite"
                                                << "newer" << Kind::NewerVersion;
        QTest::newRow("postgresql: a table missing") << "postgresql"
                                                     << "table" << Kind::Damaged;
        QTest::newRow("postgresql: a newer layout") << "postgresql"
                                                    << "newer" << Kind::NewerVersion;
    }

    void aDamagedArchiveIsRefused() {
        FETCH_BACKEND(backend);
        QFETCH(QString, damage);
        QFETCH(ArchiveProblem::Kind, kind);
        const ArchiveConfig config = backend.freshArchive();
        if (damage == u"garbage") {
            QFile file(config.sqliteFile);
            QVERIFY(file.open(QIODevice::WriteOnly));
            for (int i = 0; i < 2048; ++i) {
                file.write("garbage!");
            }
        } else if (damage == u"foreign") {
            QVERIFY(backend.execOwn({QStringLiteral("CREATE TABLE invoices (id INTEGER)")}));
        } else {
            {
                RecordArchive archive;
                QVERIFY_ARCHIVE_OK(archive.open(config));
                QVERIFY_ARCHIVE_OK(writeSmallRead(archive, damage == u"pages" ? 3000 : 5).problem);
            }
            QString error;
            if (damage == u"pages") {
                QVERIFY(overwriteMiddle(config.sqliteFile));
            } else if (damage == u"table") {
                QVERIFY2(backend.execOwn({QStringLiteral("DROP TABLE read_line")}, &error),
                         qPrintable(error));
            } else {
                QVERIFY2(backend.execOwn({QStringLiteral("UPDATE archive_meta SET value = '99' "
                                                         "WHERE name = 'schema_version'")},
                                         &error),
                         qPrintable(error));
            }
        }
        backend.closeOwn();
        RecordArchive archive;
        const ArchiveProblem problem = archive.open(config);
        QCOMPARE(kindName(problem.kind), kindName(kind));
        QVERIFY(!problem.detail.isEmpty());
        QVERIFY(!archive.isOpen());
        if (damage == u"garbage" || damage == u"pages") {
            // Nothing was written over the evidence.
            QVERIFY(QFile::exists(config.sqliteFile));
        }
    }

    void theThoroughCheckFindsWhatTheFiguresDoNotAccountFor_data() {
        addBackendColumn();
        QTest::addColumn<QString>("damage");
        for (const char* backend : {"sqlite", "postgresql"}) {
            QTest::addRow("%s: a record of no memory", backend)
                << QString::fromLatin1(backend)
                << QStringLiteral(
                       "INSERT INTO record SELECT 999, record_no, read_id, line, "
                       "rec_date, rec_time, number, user_id, product_id, net, gross, "
                       "tare, unit, decimals, stable FROM record WHERE record_no = 1");
            QTest::addRow("%s: a count off", backend)
                << QString::fromLatin1(backend)
                << QStringLiteral("UPDATE memory SET record_count = record_count + 1");
            QTest::addRow("%s: a record missing below the top", backend)
                << QString::fromLatin1(backend)
                << QStringLiteral("DELETE FROM record WHERE record_no = 2");
        }
    }

    void theThoroughCheckFindsWhatTheFiguresDoNotAccountFor() {
        FETCH_BACKEND(backend);
        QFETCH(QString, damage);
        RecordArchive archive;
        QVERIFY_ARCHIVE_OK(archive.open(backend.freshArchive()));
        QVERIFY_ARCHIVE_OK(writeSmallRead(archive).problem);
        QVERIFY_ARCHIVE_OK(archive.integrityCheck());
        QString error;
        QVERIFY2(backend.execOwn({damage}, &error), qPrintable(error));
        const ArchiveProblem problem = archive.integrityCheck();
        QCOMPARE(kindName(problem.kind), kindName(Kind::Damaged));
        QVERIFY(!problem.detail.isEmpty());
    }

    void anUnreachableArchiveIsReported_data() {
        addBackendColumn();
        QTest::addColumn<QString>("where");
        QTest::addColumn<ArchiveProblem::Kind>("kind");
        QTest::newRow("sqlite: a folder in its place") << "sqlite"
                                                       << "folder" << Kind::CannotOpen;
        QTest::newRow("sqlite: below a plain file") << "sqlite"
                                                    << "file" << Kind::CannotOpen;
        QTest::newRow("postgresql: nothing listening") << "postgresql"
                                                       << "port" << Kind::CannotOpen;
        QTest::newRow("postgresql: no such database") << "postgresql"
                                                      << "database" << Kind::CannotOpen;
        QTest::newRow("postgresql: no host set") << "postgresql"
                                                 << "settings" << Kind::Settings;
    }

    void anUnreachableArchiveIsReported() {
        FETCH_BACKEND(backend);
        QFETCH(QString, where);
        QFETCH(ArchiveProblem::Kind, kind);
        ArchiveConfig config = backend.freshArchive();
        QTemporaryDir dir;
        if (where == u"folder") {
            QVERIFY(QDir().mkpath(config.sqliteFile));
        } else if (where == u"file") {
            QFile plain(dir.filePath(QStringLiteral("plain")));
            QVERIFY(plain.open(QIODevice::WriteOnly));
            config.sqliteFile = dir.filePath(QStringLiteral("plain/archive.sqlite"));
        } else if (where == u"port") {
            QTcpServer probe;  // a port that was free a moment ago, and is closed again
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            config.port = probe.serverPort();
            probe.close();
        } else if (where == u"database") {
            config.database = QStringLiteral("no_such_archive");
        } else {
            config.settingsProblem = QStringLiteral("the PostgreSQL archive needs a host");
        }
        QElapsedTimer clock;
        clock.start();
        RecordArchive archive;
        const ArchiveProblem problem = archive.open(config);
        QCOMPARE(kindName(problem.kind), kindName(kind));
        QVERIFY(!problem.detail.isEmpty());
        QVERIFY(clock.elapsed() < kAnswerWithinMs);
    }

private:
    // Overwrites the middle fifth of the file, where the records lie.
    static bool overwriteMiddle(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite)) {
            return false;
        }
        const qint64 size = file.size();
        file.seek(size * 2 / 5);
        file.write(QByteArray(static_cast<qsizetype>(size / 5), '\xab'));
        return size > 16 * 4096;
    }
};

QTEST_GUILESS_MAIN(ArchiveFaultsTest)
#include "tst_ArchiveFaults.moc"
