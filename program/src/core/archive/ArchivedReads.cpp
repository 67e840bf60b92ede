#include "ArchivedReads.h"

#include <exception>

#include "ArchivePlanHook.h"
#include "RecordConversion.h"

namespace {

// The archived records of a memory below `belowNumber`, as rows of the table
// the column line defines: the part of the grid a read did not fetch.
std::shared_ptr<RecordBatch> archivedRows(const RecordSet& records, const RecordLayout& layout,
                                          const ReadSetup& setup) {
    auto batch = std::make_shared<RecordBatch>();
    const RecordConverter converter(layout, setup.texts, setup.formats);
    records.appendRowsTo(*batch, converter);
    return batch;
}

// Adds `more` below `into`'s rows; its text cells move with its texts.
void appendBatch(RecordBatch& into, const RecordBatch& more, const RecordLayout& layout) {
    const quint64 offset = into.texts.append(more.texts);
    into.rows.reserve(into.rows.size() + more.rows.size());
    const int fields = std::min(layout.fieldCount(), RecordRow::kValueCount);
    for (RecordRow row : more.rows) {
        for (int i = 0; i < fields; ++i) {
            if (layout.fields()[i].type == FieldType::Text && !row.isNull(i)) {
                row.values[i] = TextArena::moved(row.values[i], offset);
            }
        }
        into.rows.push_back(row);
    }
}

ArchiveProblem failed(const std::exception& error) {
    return ArchiveProblem::make(ArchiveProblem::Kind::Failed, QString::fromUtf8(error.what()));
}

QString describeLocation(const ArchiveConfig& config) {
    if (config.backend == ArchiveBackend::SQLite) {
        return config.effectiveSqliteFile();
    }
    return QStringLiteral("%1:%2/%3").arg(config.host).arg(config.port).arg(config.database);
}

}  // namespace

ArchivedReads::ArchivedReads(AlibiReadSession& session, QObject* parent)
    : QObject(parent), session_(session) {
    snapshotTimer_.setSingleShot(true);
    connect(&snapshotTimer_, &QTimer::timeout, this, [this] {
        if (phase_ == Phase::Snapshot) {
            ArchiveNotice late;
            late.kind = ArchiveNotice::Kind::NoAnswer;
            setNotice(late);
            beginRead(ArchiveSnapshot());
        }
    });
    connect(&session_, &AlibiReadSession::recordsCopied, this, &ArchivedReads::onRecordsCopied);
    connect(&session_, &AlibiReadSession::silenceTimedOut, this, &ArchivedReads::onReadBrokenOff);
    connect(&session_, &AlibiReadSession::stopped, this, &ArchivedReads::onReadBrokenOff);
    connect(&session_, &AlibiReadSession::libraryFailed, this, &ArchivedReads::onReadFailed);
    connect(&session_, &AlibiReadSession::tableFailed, this, &ArchivedReads::onReadFailed);
    connect(&session_, &AlibiReadSession::columnLineMissing, this, &ArchivedReads::onReadFailed);
}

ArchivedReads::~ArchivedReads() {
    // A listener may still be running with the hook: it must not call back
    // into this object any more.
    if (hook_) {
        hook_->detach();
    }
}

void ArchivedReads::open(const ArchiveConfig& config) {
    archiveOpen_ = false;
    location_ = describeLocation(config);
    ArchiveNotice opening;
    opening.kind = ArchiveNotice::Kind::Opening;
    setNotice(opening);
    archive_.open(config, this, [this](ArchiveProblem problem) {
        archiveOpen_ = problem.ok();
        openProblem_ = problem;
        ArchiveNotice opened;
        opened.kind = problem.ok() ? ArchiveNotice::Kind::Ready : ArchiveNotice::Kind::Unavailable;
        opened.problem = problem;
        opened.location = location_;
        setNotice(opened);
    });
}

bool ArchivedReads::isBusy() const {
    switch (phase_) {
        case Phase::Snapshot:
        case Phase::Merging:
            return true;
        case Phase::Reading:
            // A read the session ended without telling this object is over.
            return session_.isRunning();
        case Phase::Idle:
        case Phase::FallbackPending:
            break;
    }
    return false;
}

bool ArchivedReads::cancelStart() {
    if (phase_ != Phase::Snapshot) {
        return false;
    }
    snapshotTimer_.stop();
    ++serial_;  // the snapshot, when it comes, is for no read
    phase_ = Phase::Idle;
    fallback_.reset();
    return true;
}

void ArchivedReads::readEnded() {
    onReadFailed();
}

void ArchivedReads::start(const ReadSetup& setup, ReadMode mode, const QString& connection) {
    if (phase_ == Phase::Reading && hook_ && hook_->transferReported()) {
        onReadFailed();  // ended without a word to this object: filed now
    }
    if (phase_ != Phase::FallbackPending) {
        fallback_.reset();
        mode_ = mode;
    }
    if (hook_) {
        hook_->detach();
        hook_.reset();
    }
    setup_ = setup;
    connection_ = connection;
    startedAt_ = QDateTime::currentDateTime();
    fetched_.reset();
    older_.reset();
    phase_ = Phase::Snapshot;
    const quint64 serial = ++serial_;
    archive_.loadSnapshot(this, [this, serial](ArchiveResult<ArchiveSnapshot> snapshot) {
        if (serial != serial_ || phase_ != Phase::Snapshot) {
            return;
        }
        snapshotTimer_.stop();
        // An archive that cannot give its snapshot leaves the read a full one.
        beginRead(snapshot.ok() ? snapshot.value : ArchiveSnapshot());
    });
    snapshotTimer_.start(snapshotWaitMs_);
}

void ArchivedReads::beginRead(const ArchiveSnapshot& snapshot) {
    phase_ = Phase::Reading;
    const quint64 serial = serial_;
    hook_ = std::make_shared<ArchivePlanHook>(
        std::make_shared<const ArchiveSnapshot>(snapshot), mode_, fallback_, fallbackScale_,
        [this, serial](const ReadPlan& plan, const QString& columnLine) {
            QMetaObject::invokeMethod(
                this, [this, serial, plan, columnLine] { onPlanned(serial, plan, columnLine); },
                Qt::QueuedConnection);
        });
    session_.start(setup_, hook_);
}

// The transfer of an incremental read has just begun: the archived part of
// the grid is made ready meanwhile, on the archive's thread.
void ArchivedReads::onPlanned(quint64 serial, const ReadPlan& plan, const QString& columnLine) {
    if (serial != serial_ || plan.kind != ReadPlan::Kind::Incremental) {
        return;
    }
    const ReadSetup setup = setup_;
    archive_.run<OlderRows>(
        [memoryId = plan.memoryId, below = plan.stopAfter, columnLine,
         setup](RecordArchive& archive) {
            OlderRows older;
            const ArchiveResult<RecordSet> records = archive.loadRecords(memoryId, below);
            if (!records.ok()) {
                older.problem = records.problem;
                return older;
            }
            try {
                older.layout = RecordLayout::fromColumnLine(columnLine, setup.texts);
                older.batch = archivedRows(records.value, older.layout, setup);
                older.count = static_cast<qint64>(records.value.size());
            } catch (const std::exception& error) {
                older.problem = failed(error);
            }
            return older;
        },
        this,
        [this, serial](OlderRows older) {
            if (serial != serial_) {
                return;
            }
            older_ = std::move(older);
            if (phase_ == Phase::Merging) {
                finishMerge();
            }
        });
}

void ArchivedReads::onRecordsCopied(const std::shared_ptr<RecordBatch>& batch,
                                    const ReadOutcome& outcome) {
    if (phase_ != Phase::Reading || !hook_ || !hook_->identitySeen()) {
        phase_ = Phase::Idle;
        emit rowsReady(batch, outcome);
        return;
    }
    const ReadPlan plan = hook_->plan();
    if (plan.kind == ReadPlan::Kind::Incremental) {
        const ReadVerdict verdict = hook_->verdict();
        if (verdict.kind == ReadVerdict::Kind::Verified) {
            fetched_ = batch;
            fetchedOutcome_ = outcome;
            phase_ = Phase::Merging;
            if (older_) {
                finishMerge();
            }
            return;
        }
        if (verdict.kind == ReadVerdict::Kind::Mismatch) {
            // Filed apart from the memory it did not fit, then read again whole.
            fileRead(false);
            needFullRead(fallbackPlan(verdict), ArchiveNotice::Kind::Fallback);
            return;
        }
        // Stopped before the stop record: what came is filed and shown.
    }
    const bool whole =
        hook_->ended() && static_cast<qint64>(hook_->records().size()) == hook_->announcedCount();
    fileRead(whole);
    phase_ = Phase::Idle;
    emit rowsReady(batch, outcome);
}

// Silence or the operator's stop: the records stored so far are filed and shown.
void ArchivedReads::onReadBrokenOff(const std::shared_ptr<RecordBatch>& batch,
                                    const ReadOutcome& outcome) {
    onReadFailed();
    emit rowsReady(batch, outcome);
}

void ArchivedReads::onReadFailed() {
    if (phase_ != Phase::Reading) {
        return;
    }
    fileRead(false);
    phase_ = Phase::Idle;
}

void ArchivedReads::finishMerge() {
    OlderRows older = std::move(*older_);
    older_.reset();
    std::shared_ptr<RecordBatch> fetched = std::move(fetched_);
    if (fetchedOutcome_.tableFailed || !fetchedOutcome_.unreadable.isEmpty()) {
        // The fetched lines themselves did not convert: the read ends as a
        // full read whose copy fails.
        fileRead(false);
        phase_ = Phase::Idle;
        emit rowsReady(fetched, fetchedOutcome_);
        return;
    }
    if (!older.problem.ok()) {
        fileRead(true);
        ReadPlan full;
        full.reason = ReadPlan::Reason::CheckFailed;
        full.memoryId = hook_->plan().memoryId;
        needFullRead(full, ArchiveNotice::Kind::OlderMissing);
        return;
    }
    const ReadPlan plan = hook_->plan();
    appendBatch(*older.batch, *fetched, older.layout);
    fileRead(true);
    ArchiveNotice done;
    done.kind = ArchiveNotice::Kind::Incremental;
    done.fresh = hook_->announcedCount() - plan.stopAfter;
    done.fromArchive = plan.stopAfter;
    setNotice(done);
    phase_ = Phase::Idle;
    // The whole memory arrived: the fetched lines and the archived ones.
    ReadOutcome whole = fetchedOutcome_;
    whole.received = fetchedOutcome_.received + older.count;
    emit rowsReady(older.batch, whole);
}

void ArchivedReads::needFullRead(const ReadPlan& plan, ArchiveNotice::Kind why) {
    fallback_ = plan;
    fallbackScale_ = hook_->identity().key();
    phase_ = Phase::FallbackPending;
    ArchiveNotice notice;
    notice.kind = why;
    setNotice(notice);
    // Not from inside the session's signal: the window starts a new read.
    QMetaObject::invokeMethod(this, &ArchivedReads::fullReadNeeded, Qt::QueuedConnection);
}

void ArchivedReads::fileRead(bool complete) {
    if (!hook_ || !hook_->identitySeen()) {
        return;
    }
    FinishedRead read;
    read.identity = hook_->identity();
    read.connection = connection_;
    read.startedAt = startedAt_;
    read.finishedAt = hook_->finishedAt();
    read.announcedCount = hook_->announcedCount();
    read.applyPlan(hook_->plan());
    read.complete = complete;
    const bool incremental = read.kind == ReadPlan::Kind::Incremental;
    if (incremental) {
        read.applyVerdict(hook_->verdict());
    }
    read.records = std::move(hook_->records());
    hook_->records() = RecordSet();
    const bool whole = read.complete;
    archive_.write(
        std::move(read), this,
        [this, incremental, whole](WriteOutcome outcome) {
            ArchiveNotice filed;
            if (!outcome.ok()) {
                filed.kind = ArchiveNotice::Kind::NotArchived;
                // "Not open" says less than why it could not be opened.
                filed.problem = archiveOpen_ || openProblem_.ok() ? outcome.problem : openProblem_;
                setNotice(filed);
            } else if (!incremental) {
                filed.kind =
                    whole ? ArchiveNotice::Kind::FullArchived : ArchiveNotice::Kind::PartArchived;
                filed.fresh = outcome.added;
                setNotice(filed);
            }
            emit readArchived(outcome);
        },
        writeObserver_);
}

void ArchivedReads::listScales() {
    archive_.listScales(this, [this](ArchiveResult<std::vector<ArchivedScale>> scales) {
        if (!scales.ok() && !archiveOpen_ && !openProblem_.ok()) {
            scales.problem = openProblem_;
        }
        emit scalesListed(scales);
    });
}

void ArchivedReads::loadMemory(qint64 memoryId, const ReadSetup& setup) {
    archive_.run<ArchivedMemoryRows>(
        [memoryId, setup](RecordArchive& archive) {
            ArchivedMemoryRows rows;
            rows.memoryId = memoryId;
            rows.language = setup.texts.language();
            ArchiveResult<MemoryContent> content = archive.loadMemory(memoryId);
            if (!content.ok()) {
                rows.problem = content.problem;
                return rows;
            }
            rows.identity = content.value.identity;
            try {
                rows.layout = RecordLayout::fromColumnLine(rows.identity.columnLine, setup.texts);
                rows.batch = archivedRows(content.value.records, rows.layout, setup);
            } catch (const std::exception& error) {
                rows.problem = failed(error);
                rows.batch.reset();
            }
            return rows;
        },
        this,
        [this](ArchivedMemoryRows rows) {
            ArchiveNotice shown;
            shown.kind = rows.problem.ok() ? ArchiveNotice::Kind::Browsing
                                           : ArchiveNotice::Kind::BrowseFailed;
            shown.problem = rows.problem;
            shown.scale = rows.identity.type;
            shown.serialNumber = rows.identity.serialNumber;
            shown.count = rows.batch ? static_cast<qint64>(rows.batch->rows.size()) : 0;
            setNotice(shown);
            emit memoryLoaded(rows);
        });
}

void ArchivedReads::setNotice(ArchiveNotice notice) {
    notice_ = std::move(notice);
    emit noticeChanged(notice_);
}
