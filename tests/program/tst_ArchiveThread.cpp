#include <QCoreApplication>
#include <QTest>
#include <memory>

#include "ArchiveTestSupport.h"
#include "ArchiveThread.h"

class ArchiveThreadTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { ArchiveTestBackend::addRows(); }

    void jobsRunInOrderOffTheCallersThreadAndAnswerOnIt() {
        ARCHIVE_BACKEND(backend);
        QStringList answers;
        QThread* jobThread = nullptr;
        bool answeredOnCaller = true;
        auto onCaller = [&] {
            answeredOnCaller = answeredOnCaller && QThread::currentThread() == thread();
        };
        {
            ArchiveThread archive;
            archive.open(backend.freshArchive(), this, [&](ArchiveProblem problem) {
                onCaller();
                answers << QStringLiteral("open ") + archiveProblemName(problem.kind);
            });
            archive.write(finishedRead(testIdentity(), 500, scaleRecords(500, 1)), this,
                          [&](WriteOutcome outcome) {
                              onCaller();
                              answers << QStringLiteral("write %1").arg(outcome.added);
                          });
            archive.loadSnapshot(this, [&](ArchiveResult<ArchiveSnapshot> snapshot) {
                onCaller();
                answers << QStringLiteral("snapshot %1")
                               .arg(snapshot.value.memoryFor(testIdentity().key())->unbrokenTop);
            });
            archive.listScales(this, [&](ArchiveResult<std::vector<ArchivedScale>> scales) {
                onCaller();
                answers << QStringLiteral("scales %1").arg(scales.value.size());
            });
            archive.run<QThread*>([](RecordArchive&) { return QThread::currentThread(); }, this,
                                  [&](QThread* thread) {
                                      jobThread = thread;
                                      answers << QStringLiteral("run");
                                  });
            QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 5, 30000);
            QCOMPARE(jobThread, archive.jobThread());
        }
        QCOMPARE(answers, (QStringList{QStringLiteral("open none"), QStringLiteral("write 500"),
                                       QStringLiteral("snapshot 500"), QStringLiteral("scales 1"),
                                       QStringLiteral("run")}));
        QVERIFY(jobThread != thread());
        QVERIFY(answeredOnCaller);
    }

    void aReceiverGoneBeforeTheAnswerHearsNothing() {
        ARCHIVE_BACKEND(backend);
        ArchiveThread archive;
        bool gone = false;
        bool last = false;
        auto receiver = std::make_unique<QObject>();
        archive.open(backend.freshArchive(), receiver.get(), [&](ArchiveProblem) { gone = true; });
        receiver.reset();
        archive.integrityCheck(this, [&](ArchiveProblem problem) { last = problem.ok(); });
        QTRY_VERIFY_WITH_TIMEOUT(last, 30000);
        QCoreApplication::processEvents();
        QVERIFY(!gone);
    }

    void aClosedArchiveAnswersNotOpenAtOnce() {
        ArchiveThread archive;
        QStringList answers;
        archive.write(
            finishedRead(testIdentity(), 5, scaleRecords(5, 1)), this,
            [&](WriteOutcome outcome) { answers << archiveProblemName(outcome.problem.kind); });
        archive.loadRecords(1, 10, this, [&](ArchiveResult<RecordSet> records) {
            answers << archiveProblemName(records.problem.kind);
        });
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 2, 10000);
        QCOMPARE(answers, (QStringList{QStringLiteral("not-open"), QStringLiteral("not-open")}));
    }

    void aQueuedWriteFinishesBeforeTheThreadEnds() {
        ARCHIVE_BACKEND(backend);
        const ArchiveConfig config = backend.freshArchive();
        {
            ArchiveThread archive;
            archive.open(config, this, {});
            archive.write(finishedRead(testIdentity(), 3000, scaleRecords(3000, 1)), this, {});
        }
        RecordArchive reopened;
        QVERIFY_ARCHIVE_OK(reopened.open(config));
        const ArchiveSnapshot snapshot = reopened.loadSnapshot().value;
        QVERIFY(snapshot.memoryFor(testIdentity().key()) != nullptr);
        QCOMPARE(snapshot.memoryFor(testIdentity().key())->recordCount, qint64(3000));
    }
};

QTEST_GUILESS_MAIN(ArchiveThreadTest)
#include "tst_ArchiveThread.moc"
