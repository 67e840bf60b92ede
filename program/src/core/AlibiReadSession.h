#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

#include "DisplayFormats.h"
#include "LanguageTexts.h"
#include "ReadListenerHook.h"
#include "ReadOutcome.h"
#include "RecordLayout.h"
#include "RecordRows.h"

class CVESKScaleInterface;
class CVESKDeviceInterface;

// What the library's thread needs of the program during a read, fixed when
// the read starts: the field names and stability texts of the language in
// force, and the user's formats.
struct ReadSetup {
    LanguageTexts texts;
    DisplayFormats formats;
};

struct DeviceIdentity {
    QString type;
    qint32 serialNumber = 0;
    QString productionDate;
    QString recordHeader;
    qint64 recordCount = 0;
};

// One alibi-memory read through the library, from StartAlibiRead to its end.
//
// The library calls back on its listener thread with plain function pointers,
// so one static pointer names the session whose read is running. The work
// that must see the library's results while they are valid is done right
// there, as the library allows: the identity and count are copied at status
// 0, every record is copied with GetAlibiRecord and the line disconnected at
// status 1. Everything else is handed to the UI thread in the order of the
// calls, as the signals below.
//
// A read that the library ends without any status (it can go silent) would
// otherwise never end: after a silence limit without any callback the
// session stops the listener, disconnects and reports silenceTimedOut() with
// the records stored until then.
//
// The operator may stop a read: the library is asked to end it after the
// next record line, which restores the line settings and gives status 1 as
// usual; should no line come within a moment, the listener is stopped.
// Either way the records stored so far are kept.
class AlibiReadSession : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kDefaultSilenceLimit{5000};
    // How long a stop waits for the library's own end before it stops the
    // listener; with its join and the disconnect the read ends within a second.
    static constexpr std::chrono::milliseconds kStopGrace{500};

    explicit AlibiReadSession(CVESKScaleInterface* scale, QObject* parent = nullptr);
    ~AlibiReadSession() override;

    // Ends a listener that is still winding down; the device may then be
    // reconfigured safely.
    void stopPreviousListener();
    // `hook`, when given, works beside the session on the listener thread
    // (see ReadListenerHook).
    void start(const ReadSetup& setup, std::shared_ptr<ReadListenerHook> hook = {});
    // From start() until the UI thread has seen the read end.
    bool isRunning() const { return running_; }
    void setSilenceLimit(std::chrono::milliseconds limit) { silenceLimit_ = limit; }
    // Ends the running read early; the read then ends with recordsCopied() or
    // stopped(), its outcome saying ReadEnd::Stopped.
    void stop();
    // The announced count and the record lines stored so far; for the time
    // left while the read runs (0 before the count is known).
    qint64 announcedCount() const { return announced_; }
    qint64 receivedLineCount() const { return received_; }

signals:
    void progressChanged(int percent);
    // Status 0: the identity (and the announced count with a column line).
    void identityReceived(const DeviceIdentity& identity);
    // Status 0 announcing records: the table's new fields.
    void fieldsDefined(const RecordLayout& layout);
    // Status 0 without a column line; the read has ended.
    void columnLineMissing();
    // The column line defines no valid table; the read has ended.
    void tableFailed();
    // Status 1: all records are stored in the library; copying begins.
    void parsingStarted();
    // The end of the copy: the rows of every record that could be read, and
    // what the read brought. The read has ended.
    void recordsCopied(const std::shared_ptr<RecordBatch>& batch, const ReadOutcome& outcome);
    // Status 2: the scale did not answer; the read has ended.
    void libraryFailed();
    // No callback within the silence limit; the read has ended with the
    // records stored until then.
    void silenceTimedOut(const std::shared_ptr<RecordBatch>& batch, const ReadOutcome& outcome);
    // A stop the library did not end in time; the read has ended with the
    // records stored until then.
    void stopped(const std::shared_ptr<RecordBatch>& batch, const ReadOutcome& outcome);

private:
    static void onProgress(double fraction);
    static void onStatus(int32_t status);

    void handleProgress(double fraction);
    void handleStatus(int32_t status);
    void handleIdentity();
    void handleAllRecordsStored();
    void handleNoAnswer();
    void copyRecords(RecordBatch& batch, ReadOutcome& outcome);
    bool ensureLayoutForStoredLines(ReadOutcome& outcome);
    void tellHookTransferOver(bool ended);
    void postProgress(int percent);
    // Marks the library's part as over unless the watchdog got there first.
    bool claimEnd();
    template <typename Work>
    void post(Work work, bool ends = false);
    void checkSilence();
    void forceStop();
    // Stops the listener unless the library has ended the read; true then.
    bool abandonListener();
    std::shared_ptr<RecordBatch> copyAfterListener(ReadOutcome& outcome);

    CVESKScaleInterface* scale_;
    CVESKDeviceInterface* device_;
    QTimer watchdog_;
    QTimer stopTimer_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<qint64> announced_{0};
    std::atomic<qint64> received_{0};  // record lines, counted by their progress calls
    std::chrono::milliseconds silenceLimit_ = kDefaultSilenceLimit;
    bool running_ = false;
    quint64 readId_ = 0;  // UI thread

    // Written by start() before the listener exists, then by the listener only.
    struct ListenerState {
        quint64 readId = 0;
        std::optional<ReadSetup> setup;
        std::optional<RecordLayout> layout;
        qint64 count = 0;
        std::shared_ptr<ReadListenerHook> hook;
        bool hookTold = false;
        int lastPercent = -1;
        bool ended = false;
    } listener_;

    std::atomic<qint64> lastCallbackMs_{0};
    std::mutex endMutex_;
    bool libraryEnded_ = false;  // guarded by endMutex_
    bool abandoned_ = false;     // guarded by endMutex_
};
