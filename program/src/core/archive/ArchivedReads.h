#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <memory>
#include <optional>
#include <vector>

#include "AlibiReadSession.h"
#include "ArchiveNotice.h"
#include "ArchiveThread.h"
#include "IncrementalRead.h"
#include "RecordLayout.h"
#include "RecordRows.h"

class ArchivePlanHook;

// An archived memory made ready for the grid.
struct ArchivedMemoryRows {
    ArchiveProblem problem;
    qint64 memoryId = 0;
    ReadIdentity identity;
    Language language = Language::Polish;  // of the layout's field names
    RecordLayout layout;
    std::shared_ptr<RecordBatch> batch;
};

// The read flow with the record archive: the window starts its reads here
// rather than on the read session, and fills the grid from rowsReady().
//
// Every read is planned against a snapshot of the archive taken just before
// it. Once the archive holds records of the scale, a read fetches only the
// records above the newest archived one plus the one below them, which must
// be byte for byte the archived record (see IncrementalRead.h); the rows for
// the grid are then the fetched ones above the archived ones, as a full read
// would have given them. When the check fails, or the archive cannot give
// its records, fullReadNeeded() asks the window to connect again and start
// the full read that replaces it; the two sets of records never mix. Every
// read, whole or broken off, is filed in the archive afterwards, on the
// archive's thread.
//
// The archive never stops a read: when it cannot be opened, does not answer
// in time or fails a write, the read goes on without it and noticeChanged()
// says why.
//
// Threads: create, call and destroy on the UI thread, with the session.
class ArchivedReads : public QObject {
    Q_OBJECT

public:
    // How long a read waits for the archive's snapshot before it goes on
    // without the archive: longer than the archive's busy timeout, so that a
    // moment's lock by another program is waited out.
    static constexpr int kSnapshotWaitMs = 8000;

    explicit ArchivedReads(AlibiReadSession& session, QObject* parent = nullptr);
    ~ArchivedReads() override;

    // Opens, or reopens with other settings.
    void open(const ArchiveConfig& config);
    const ArchiveNotice& notice() const { return notice_; }

    // Starts a read on the connected device. After fullReadNeeded() the next
    // start() is that full read, whatever `mode` says.
    void start(const ReadSetup& setup, ReadMode mode, const QString& connection);
    // From start() until the rows are ready or the read failed.
    bool isBusy() const;
    // The operator stopped a read that still waits for the archive's
    // snapshot: no dialogue has begun, and none will. False once it has.
    bool cancelStart();
    // A read that ended by a way of its own (the operator stopped it): files
    // the records it got. The session's own ends need no call.
    void readEnded();

    // Browsing, answered by scalesListed() and memoryLoaded().
    void listScales();
    void loadMemory(qint64 memoryId, const ReadSetup& setup);

    void setSnapshotWait(int milliseconds) { snapshotWaitMs_ = milliseconds; }
    // Runs on the archive's thread inside every write's transaction: for
    // tests that stop the program half-way through a write.
    void setWriteObserver(ArchiveWriter::Progress observer) {
        writeObserver_ = std::move(observer);
    }
    // For tests: runs after every queued job before it.
    ArchiveThread& archiveThread() { return archive_; }

signals:
    // The rows of the read for the grid and what the read brought, as the
    // session's recordsCopied, silenceTimedOut and stopped give them; for an
    // incremental read the whole memory, as a full read would have brought it.
    void rowsReady(const std::shared_ptr<RecordBatch>& batch, const ReadOutcome& outcome);
    // The read did not fit the archive: connect again and call start().
    void fullReadNeeded();
    void noticeChanged(const ArchiveNotice& notice);
    // A read was filed (or could not be).
    void readArchived(const WriteOutcome& outcome);
    void scalesListed(const ArchiveResult<std::vector<ArchivedScale>>& scales);
    void memoryLoaded(const ArchivedMemoryRows& rows);

private:
    enum class Phase { Idle, Snapshot, Reading, Merging, FallbackPending };

    // The archived rows below an incremental read's stop record.
    struct OlderRows {
        ArchiveProblem problem;
        RecordLayout layout;
        std::shared_ptr<RecordBatch> batch;
        qint64 count = 0;
    };

    void beginRead(const ArchiveSnapshot& snapshot);
    void onPlanned(quint64 serial, const ReadPlan& plan, const QString& columnLine);
    void onRecordsCopied(const std::shared_ptr<RecordBatch>& batch, const ReadOutcome& outcome);
    void onReadBrokenOff(const std::shared_ptr<RecordBatch>& batch, const ReadOutcome& outcome);
    void onReadFailed();
    void finishMerge();
    void needFullRead(const ReadPlan& plan, ArchiveNotice::Kind why);
    void fileRead(bool complete);
    void setNotice(ArchiveNotice notice);

    AlibiReadSession& session_;
    ArchiveThread archive_;
    ArchiveNotice notice_;
    bool archiveOpen_ = false;
    ArchiveProblem openProblem_;
    QString location_;
    int snapshotWaitMs_ = kSnapshotWaitMs;
    QTimer snapshotTimer_;
    ArchiveWriter::Progress writeObserver_;

    Phase phase_ = Phase::Idle;
    quint64 serial_ = 0;
    ReadSetup setup_;
    ReadMode mode_ = ReadMode::Automatic;
    QString connection_;
    QDateTime startedAt_;
    std::shared_ptr<ArchivePlanHook> hook_;
    std::optional<ReadPlan> fallback_;
    ScaleKey fallbackScale_;

    // An incremental read waits for both halves of its rows.
    std::shared_ptr<RecordBatch> fetched_;
    ReadOutcome fetchedOutcome_;
    std::optional<OlderRows> older_;
};
