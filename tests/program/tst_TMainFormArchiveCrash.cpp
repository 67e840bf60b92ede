#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <memory>

#include "ArchiveSettings.h"
#include "ArchiveTestSupport.h"
#include "RecordArchive.h"
#include "ScaleSimProcess.h"
#include "TestSupport.h"

// The program killed while the archive writes a read (the real window's read
// flow in a helper process): after a restart the archive opens, passes its
// integrity check and holds the earlier reads whole, and nothing of the
// killed read.
class TMainFormArchiveCrashTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { ArchiveTestBackend::addRows(); }

    void initTestCase() {
        if (scaleSimPath().isEmpty() || !QFile::exists(scaleSimPath())) {
            QSKIP("scale-sim is not built");
        }
    }

    void aReadKilledDuringItsArchiveWriteLeavesTheEarlierReadsWhole() {
        ARCHIVE_BACKEND(backend);
        settings_.clear();
        const ArchiveConfig config = backend.freshArchive();
        QVERIFY(ArchiveSettings::write(config));

        ScaleSimProcess first({"--pty", "--records", "300", "--seed", "8"});
        presetSerialConnection(QString::fromStdString(first.PtyPath()));
        QByteArray said = runHelper({});
        QVERIFY2(said.contains("archived 300 none"), said.constData());

        ScaleSimProcess second({"--pty", "--records", "20000", "--seed", "9", "--serial", "777"});
        presetSerialConnection(QString::fromStdString(second.PtyPath()));
        QProcess killed;
        startHelper(killed, {QStringLiteral("hold")});
        said.clear();
        QVERIFY(QTest::qWaitFor(
            [&] {
                killed.waitForReadyRead(50);
                said += killed.readAllStandardOutput();
                return said.contains("inside") || killed.state() == QProcess::NotRunning;
            },
            90000));
        QVERIFY2(said.contains("writing 20000\ninside"), said.constData());
        killed.kill();  // SIGKILL, to the helper's pid
        QVERIFY(killed.waitForFinished());
        QCOMPARE(killed.exitStatus(), QProcess::CrashExit);

        {
            RecordArchive archive;
            QVERIFY_ARCHIVE_OK(archive.open(config));
            QVERIFY_ARCHIVE_OK(archive.integrityCheck());
            const auto scales = archive.listScales();
            QVERIFY_ARCHIVE_OK(scales.problem);
            QCOMPARE(scales.value.size(), size_t(1));
            QCOMPARE(scales.value[0].serialNumber, 560123);
            QCOMPARE(scales.value[0].memories.size(), size_t(1));
            QCOMPARE(scales.value[0].memories[0].recordCount, qint64(300));
            QCOMPARE(scales.value[0].memories[0].unbrokenTop, qint64(300));
            QCOMPARE(
                backend.ownValue(QStringLiteral("SELECT count(*) FROM alibi_read")).toLongLong(),
                qint64(1));
            backend.closeOwn();
        }

        // The next start reads and files as usual.
        said = runHelper({});
        QVERIFY2(said.contains("archived 20000 none"), said.constData());
    }

private:
    void startHelper(QProcess& helper, const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // The helper's settings are this test's.
        environment.insert(
            QStringLiteral("XDG_CONFIG_HOME"),
            QFileInfo(settings_.fileName()).dir().absoluteFilePath(QStringLiteral("..")));
        helper.setProcessEnvironment(environment);
        helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper.start(QStringLiteral(ARCHIVE_READ_CRASH_HELPER_PATH), arguments);
    }

    QByteArray runHelper(const QStringList& arguments) {
        QProcess helper;
        startHelper(helper, arguments);
        if (!helper.waitForFinished(90000)) {
            helper.kill();
            helper.waitForFinished();
        }
        return helper.readAllStandardOutput();
    }

    TemporarySettings settings_;
};

QTEST_MAIN(TMainFormArchiveCrashTest)
#include "tst_TMainFormArchiveCrash.moc"
