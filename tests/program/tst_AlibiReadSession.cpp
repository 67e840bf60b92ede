#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "AlibiReadSession.h"
#include "ScaleLibrary.h"
#include "ScaleSimProcess.h"
#include "TestSupport.h"

namespace {

struct Events {
    QStringList names;
    QList<int> progress;
    std::shared_ptr<RecordBatch> batch;
    bool complete = false;
};

}  // namespace

class AlibiReadSessionTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (scaleSimPath().isEmpty() || !QFile::exists(scaleSimPath())) {
            QSKIP("scale-sim is not built");
        }
        scale_ = ScaleLibrary().createScale({libraryDir()});
        QVERIFY(scale_ != nullptr);
    }

    void init() { session_ = std::make_unique<AlibiReadSession>(scale_); }

    void cleanup() {
        session_.reset();
        sim_.reset();
    }

    void cleanupTestCase() {
        if (scale_ != nullptr) {
            static_cast<CVESKDeviceInterface*>(scale_)->Release();
        }
    }

    void goodReadReportsInOrder() {
        Events& events = record();
        QVERIFY(startRead({"--records", "500", "--seed", "2"}));
        QTRY_VERIFY_WITH_TIMEOUT(!session_->isRunning(), 30000);
        QCOMPARE(events.names, (QStringList{"identity", "fields", "parsing", "copied"}));
        QVERIFY(events.complete);
        QCOMPARE(events.batch->rows.size(), size_t(500));
        // The newest stored line is copied first: record 1 is the last line.
        QCOMPARE(qint64(events.batch->rows.front().values[0]), qint64(1));
        QCOMPARE(qint64(events.batch->rows.back().values[0]), qint64(500));
    }

    void progressReachesTheWindowOnlyWhenItChanges() {
        Events& events = record();
        QVERIFY(startRead({"--records", "700", "--seed", "4"}));
        QTRY_VERIFY_WITH_TIMEOUT(!session_->isRunning(), 30000);
        QVERIFY(!events.progress.isEmpty());
        for (int i = 1; i < events.progress.size(); ++i) {
            QVERIFY(events.progress[i] != events.progress[i - 1]);
        }
        // Two passes of at most 0..99 each, not one update per record.
        QVERIFY2(events.progress.size() <= 200,
                 qPrintable(QString::number(events.progress.size())));
        for (int percent : events.progress) {
            QVERIFY(percent >= 0 && percent < 100);
        }
    }

    void unansweredTransferIsAFailure() {
        Events& events = record();
        QVERIFY(startRead({"--records", "5", "--silent-at", "type"}));
        QTRY_VERIFY_WITH_TIMEOUT(!session_->isRunning(), 15000);
        QCOMPARE(events.names.last(), QStringLiteral("libraryFailed"));
    }

    void silenceEndsTheRead() {
        Events& events = record();
        session_->setSilenceLimit(std::chrono::milliseconds(1000));
        QVERIFY(startRead({"--records", "5", "--silent-at", "record:2"}));
        QTRY_VERIFY_WITH_TIMEOUT(!session_->isRunning(), 15000);
        QCOMPARE(events.names, (QStringList{"identity", "fields", "silence"}));
        // A late status after the time-out changes nothing.
        QTest::qWait(300);
        QCOMPARE(events.names.size(), 3);
    }

    void sessionCanGoAwayDuringARead() {
        QVERIFY(startRead({"--records", "3000", "--pace"}));
        QTest::qWait(400);
        QVERIFY(session_->isRunning());
        session_.reset();  // stops the listener and frees the line
        session_ = std::make_unique<AlibiReadSession>(scale_);
        Events& events = record();
        sim_.reset();
        QVERIFY(startRead({"--records", "10"}));
        QTRY_VERIFY_WITH_TIMEOUT(!session_->isRunning(), 15000);
        QVERIFY(events.complete);
        QCOMPARE(events.batch->rows.size(), size_t(10));
    }

private:
    // Connects the session's signals to a log that outlives the call.
    Events& record() {
        events_ = std::make_unique<Events>();
        Events* e = events_.get();
        AlibiReadSession* s = session_.get();
        connect(s, &AlibiReadSession::identityReceived, this, [e] { e->names << "identity"; });
        connect(s, &AlibiReadSession::fieldsDefined, this, [e] { e->names << "fields"; });
        connect(s, &AlibiReadSession::parsingStarted, this, [e] { e->names << "parsing"; });
        connect(s, &AlibiReadSession::recordsCopied, this,
                [e](const std::shared_ptr<RecordBatch>& batch, const ReadOutcome& outcome) {
                    e->names << "copied";
                    e->batch = batch;
                    e->complete = outcome.isComplete();
                });
        connect(s, &AlibiReadSession::libraryFailed, this, [e] { e->names << "libraryFailed"; });
        connect(s, &AlibiReadSession::tableFailed, this, [e] { e->names << "tableFailed"; });
        connect(s, &AlibiReadSession::silenceTimedOut, this, [e] { e->names << "silence"; });
        connect(s, &AlibiReadSession::progressChanged, this, [e](int p) { e->progress << p; });
        return *e;
    }

    bool startRead(std::vector<std::string> args) {
        args.insert(args.begin(), "--pty");
        sim_ = std::make_unique<ScaleSimProcess>(scaleSimPath().toStdString(), args);
        CVESKDeviceInterface* device = scale_;
        session_->stopPreviousListener();
        device->SetConnectionKind(0);
        device->SetParameter("COM", sim_->PtyPath().c_str());
        device->SetParameter("baud", "9600");
        device->SetParameter("parity", "N");
        device->SetParameter("bits", "8");
        if (!device->Connect()) {
            return false;
        }
        session_->start(ReadSetup{LanguageTexts(), polishFormats()});
        return true;
    }

    CVESKScaleInterface* scale_ = nullptr;
    std::unique_ptr<AlibiReadSession> session_;
    std::unique_ptr<ScaleSimProcess> sim_;
    std::unique_ptr<Events> events_;
};

QTEST_GUILESS_MAIN(AlibiReadSessionTest)
#include "tst_AlibiReadSession.moc"
