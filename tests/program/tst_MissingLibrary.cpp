#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "TMainForm.h"
#include "TestSupport.h"

class MissingLibraryTest : public QObject {
    Q_OBJECT

private slots:
    void programStopsWithoutItsLibrary() {
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("VeskTarvo"));
        QVERIFY(QFile::copy(programPath(), program));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           dir.filePath(QStringLiteral("config")));
        environment.remove(QStringLiteral("LD_LIBRARY_PATH"));
        process.setProcessEnvironment(environment);
        process.start(program, {});
        QVERIFY(process.waitForStarted());
        // A shown window would keep it running: it must end by itself, at once.
        QVERIFY(process.waitForFinished(15000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY(process.exitCode() != 0);
        QVERIFY(process.readAllStandardError().contains(
            "QELScale.dll not found. Program will now terminate."));
    }

    void programRunsBesideItsLibrary() {
        QTemporaryDir dir;
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           dir.filePath(QStringLiteral("config")));
        process.setProcessEnvironment(environment);
        process.start(programPath(), {});
        QVERIFY(process.waitForStarted());
        QVERIFY(!process.waitForFinished(1500));
        process.terminate();  // SIGTERM to the pid we started
        QVERIFY(process.waitForFinished(10000));
    }

    void windowCreationFailsWithTheFixedText() {
        QTemporaryDir empty;
        try {
            TMainForm form({empty.path()});
            QSKIP("QELScale is installed where the system finds it");
        } catch (const StartupError& error) {
            QCOMPARE(QString::fromUtf8(error.what()),
                     QStringLiteral("QELScale.dll not found. Program will now terminate."));
        }
    }

private:
    TemporarySettings settings_;
};

QTEST_MAIN(MissingLibraryTest)
#include "tst_MissingLibrary.moc"
