#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include "ArchiveTestSupport.h"
#include "RecordArchive.h"

class ArchiveCrashTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { ArchiveTestBackend::addRows(); }

    // A program killed in the middle of a read's write: the archive opens,
    // passes its integrity check and holds the earlier reads whole; of the
    // killed read nothing is there.
    void aWriteKilledHalfWayLeavesTheEarlierReadsWhole() {
        ARCHIVE_BACKEND(backend);
        const ArchiveConfig config = backend.freshArchive();
        QStringList arguments;
        if (backend.isSqlite()) {
            arguments = {QStringLiteral("sqlite"), config.sqliteFile};
        } else {
            arguments = {QStringLiteral("postgresql"), config.host, QString::number(config.port),
                         config.user, config.database};
        }
        QProcess writer;
        writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        writer.start(QStringLiteral(ARCHIVE_CRASH_WRITER_PATH), arguments);
        QVERIFY(writer.waitForStarted());
        QByteArray said;
        QVERIFY(QTest::qWaitFor(
            [&] {
                writer.waitForReadyRead(50);
                said += writer.readAllStandardOutput();
                return said.contains("inside") || writer.state() == QProcess::NotRunning;
            },
            60000));
        QVERIFY2(said.contains("written\ninside"), said.constData());
        if (backend.isSqlite()) {
            // Half a transaction lies in the log.
            QVERIFY(QFileInfo(config.sqliteFile + QStringLiteral("-wal")).size() > 1024 * 1024);
        }
        writer.kill();  // SIGKILL, to the writer's pid
        QVERIFY(writer.waitForFinished());
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

        RecordArchive archive;
        QVERIFY_ARCHIVE_OK(archive.open(config));
        QVERIFY_ARCHIVE_OK(archive.integrityCheck());
        QCOMPARE(backend.ownValue(QStringLiteral("SELECT count(*) FROM alibi_read")).toLongLong(),
                 qint64(2));
        QCOMPARE(
            backend.ownValue(QStringLiteral("SELECT count(*) FROM alibi_read WHERE complete = 1"))
                .toLongLong(),
            qint64(2));
        const ArchiveSnapshot snapshot = archive.loadSnapshot().value;
        const MemoryState* memory = snapshot.memoryFor(testIdentity().key());
        QVERIFY(memory != nullptr);
        QCOMPARE(memory->unbrokenTop, qint64(220));
        QCOMPARE(memory->recordCount, qint64(220));
        QCOMPARE(
            compareRecordSets(archive.loadRecords(memory->memoryId).value, scaleRecords(220, 1)),
            QString());
        // The archive takes the next read as usual.
        const WriteOutcome next =
            archive.write(finishedRead(testIdentity(), 230, scaleRecords(230, 1)));
        QVERIFY_ARCHIVE_OK(next.problem);
        QCOMPARE(next.added, qint64(10));
    }
};

QTEST_GUILESS_MAIN(ArchiveCrashTest)
#include "tst_ArchiveCrash.moc"
