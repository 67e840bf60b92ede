#include "AlibiReadSession.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <limits>

#include "LibraryText.h"
#include "QELScale.h"
#include "RecordConversion.h"
#include "RecordTableError.h"

namespace {

// The library's callbacks carry no context: they reach the session through
// this pointer. A callback holds the lock while it runs, so the session is
// not detached under its feet; the UI thread never waits for the listener
// while holding it.
std::mutex activeSessionMutex;
AlibiReadSession* activeSession = nullptr;

qint64 nowMs() {
    return QDeadlineTimer::current(Qt::PreciseTimer).deadline();
}

constexpr int kWatchdogIntervalMs = 200;

}  // namespace

AlibiReadSession::AlibiReadSession(CVESKScaleInterface* scale, QObject* parent)
    : QObject(parent), scale_(scale), device_(scale) {
    watchdog_.setInterval(kWatchdogIntervalMs);
    connect(&watchdog_, &QTimer::timeout, this, &AlibiReadSession::checkSilence);
    stopTimer_.setSingleShot(true);
    connect(&stopTimer_, &QTimer::timeout, this, &AlibiReadSession::forceStop);
}

AlibiReadSession::~AlibiReadSession() {
    std::unique_lock lock(activeSessionMutex);
    const bool active = activeSession == this;
    lock.unlock();
    if (active) {
        // Waits for a callback in progress; none can follow.
        scale_->StopListener();
        if (running_) {
            device_->Disconnect();
        }
        lock.lock();
        activeSession = nullptr;
    }
}

void AlibiReadSession::stopPreviousListener() {
    scale_->StopListener();
}

void AlibiReadSession::start(const ReadSetup& setup, std::shared_ptr<ReadListenerHook> hook) {
    ++readId_;
    listener_ = ListenerState{};
    listener_.readId = readId_;
    listener_.setup = setup;
    listener_.hook = std::move(hook);
    {
        std::lock_guard lock(endMutex_);
        libraryEnded_ = false;
        abandoned_ = false;
    }
    {
        std::lock_guard lock(activeSessionMutex);
        activeSession = this;
    }
    lastCallbackMs_ = nowMs();
    stopRequested_ = false;
    announced_ = 0;
    received_ = 0;
    stopTimer_.stop();
    running_ = true;
    watchdog_.start();
    scale_->StartAlibiRead(&AlibiReadSession::onProgress, &AlibiReadSession::onStatus);
}

void AlibiReadSession::onProgress(double fraction) {
    std::lock_guard lock(activeSessionMutex);
    if (activeSession != nullptr) {
        activeSession->handleProgress(fraction);
    }
}

void AlibiReadSession::onStatus(int32_t status) {
    std::lock_guard lock(activeSessionMutex);
    if (activeSession != nullptr) {
        activeSession->handleStatus(status);
    }
}

template <typename Work>
void AlibiReadSession::post(Work work, bool ends) {
    const quint64 readId = listener_.readId;
    QMetaObject::invokeMethod(
        this,
        [this, readId, ends, work = std::move(work)] {
            // A read that already ended (timed out) ignores late results.
            if (readId != readId_ || !running_) {
                return;
            }
            if (ends) {
                running_ = false;
                watchdog_.stop();
                stopTimer_.stop();
            }
            work();
        },
        Qt::QueuedConnection);
}

bool AlibiReadSession::claimEnd() {
    std::lock_guard lock(endMutex_);
    if (abandoned_) {
        return false;
    }
    libraryEnded_ = true;
    return true;
}

void AlibiReadSession::handleProgress(double fraction) {
    lastCallbackMs_ = nowMs();
    // The library reports progress once per record line it stores.
    ++received_;
    if (listener_.ended) {
        return;
    }
    double percent = std::trunc(100.0 * fraction);
    if (!(percent >= 0)) {
        percent = 0;
    }
    postProgress(static_cast<int>(std::min(percent, 100.0)));
}

// Only a change of the shown percentage reaches the window: a million
// records must not queue a million repaints.
void AlibiReadSession::postProgress(int percent) {
    if (percent == listener_.lastPercent) {
        return;
    }
    listener_.lastPercent = percent;
    post([this, percent] { emit progressChanged(percent); });
}

void AlibiReadSession::handleStatus(int32_t status) {
    lastCallbackMs_ = nowMs();
    if (listener_.ended) {
        return;
    }
    switch (status) {
        case qelscale::kAlibiHeaderReceived:
            handleIdentity();
            break;
        case qelscale::kAlibiRecordsStored:
            handleAllRecordsStored();
            break;
        case qelscale::kAlibiNoAnswer:
            handleNoAnswer();
            break;
        default:
            break;
    }
}

void AlibiReadSession::handleIdentity() {
    {
        std::lock_guard lock(endMutex_);
        if (abandoned_) {
            return;
        }
    }
    DeviceIdentity identity;
    try {
        const DeviceInfo info = scale_->GetDeviceInfo();
        identity.type = fromLibraryText(info.type);
        identity.serialNumber = info.serialNumber;
        identity.productionDate = fromLibraryText(info.productionDate);
        identity.recordHeader = fromLibraryText(info.recordHeader);
        if (!identity.recordHeader.isEmpty()) {
            identity.recordCount = scale_->GetAlibiRecordCount();
            listener_.count = scale_->GetAlibiRecordCount();
            announced_ = listener_.count;
            if (listener_.hook) {
                listener_.hook->identityKnown(*scale_, identity);
                if (stopRequested_) {
                    // The operator's stop wins over an early end further down.
                    scale_->EndAlibiReadAfter(std::numeric_limits<int64_t>::max());
                }
            }
            if (listener_.count > 0) {
                listener_.layout =
                    RecordLayout::fromColumnLine(identity.recordHeader, listener_.setup->texts);
            }
        }
    } catch (...) {
        if (claimEnd()) {
            listener_.ended = true;
            tellHookTransferOver(false);
            device_->Disconnect();
            post([this, identity] { emit identityReceived(identity); });
            post([this] { emit tableFailed(); }, true);
        }
        return;
    }
    if (identity.recordHeader.isEmpty()) {
        if (claimEnd()) {
            listener_.ended = true;
            tellHookTransferOver(false);
            device_->Disconnect();
            post([this, identity] { emit identityReceived(identity); });
            post([this] { emit columnLineMissing(); }, true);
        }
        return;
    }
    post([this, identity] { emit identityReceived(identity); });
    if (listener_.layout) {
        post([this, layout = *listener_.layout] { emit fieldsDefined(layout); });
    }
}

void AlibiReadSession::handleAllRecordsStored() {
    if (!claimEnd()) {
        return;
    }
    listener_.ended = true;
    post([this] { emit parsingStarted(); });
    auto batch = std::make_shared<RecordBatch>();
    ReadOutcome outcome;
    if (stopRequested_) {
        outcome.end = ReadEnd::Stopped;
    }
    // A stopped read's early end is not the end of the memory.
    tellHookTransferOver(!stopRequested_);
    copyRecords(*batch, outcome);
    device_->Disconnect();
    post([this, batch, outcome] { emit recordsCopied(batch, outcome); }, true);
}

// The records are copied here, on the listener thread, while the library
// guarantees them, newest stored line last: rows go from the last stored line
// down to the first. The lines the scale really sent count, not the number it
// announced: a line that merged with the next, one dropped as noise or one
// sent twice must not cost the other records. A line that cannot be read is
// counted and named by its record number; the rest are kept.
void AlibiReadSession::copyRecords(RecordBatch& batch, ReadOutcome& outcome) {
    outcome.announced = listener_.count;
    outcome.received = scale_->GetAlibiLineCount();
    const qint64 lines = outcome.received;
    if (lines <= 0 || !ensureLayoutForStoredLines(outcome)) {
        return;
    }
    if (listener_.layout->fieldCount() < RecordLayout::kRecordFieldCount) {
        outcome.tableFailed = true;
        return;
    }
    listener_.lastPercent = 0;  // the window resets its bar when parsing starts
    const RecordConverter converter(*listener_.layout, listener_.setup->texts,
                                    listener_.setup->formats);
    // Stored lines are in memory already; the announced count is only the
    // scale's word.
    batch.rows.reserve(static_cast<size_t>(lines));
    batch.texts.reserve(static_cast<size_t>(lines) * 24);
    for (qint64 i = lines; i >= 1; --i) {
        try {
            converter.append(scale_->GetAlibiRecord(i), batch);
        } catch (...) {
            outcome.unreadable.append(recordNumberOfLine(scale_->GetAlibiRecordLine(i)));
        }
        postProgress(static_cast<int>(100 * (lines - i) / lines));
    }
}

void AlibiReadSession::tellHookTransferOver(bool ended) {
    if (listener_.hook && !listener_.hookTold) {
        listener_.hookTold = true;
        listener_.hook->transferOver(*scale_, ended);
    }
}

// A scale that announced no records defines no table; should it send record
// lines all the same, they get the fields of its column line.
bool AlibiReadSession::ensureLayoutForStoredLines(ReadOutcome& outcome) {
    if (listener_.layout) {
        return true;
    }
    try {
        const QString header = fromLibraryText(scale_->GetDeviceInfo().recordHeader);
        listener_.layout = RecordLayout::fromColumnLine(header, listener_.setup->texts);
    } catch (...) {
        outcome.tableFailed = true;
        return false;
    }
    post([this, layout = *listener_.layout] { emit fieldsDefined(layout); });
    return true;
}

void AlibiReadSession::handleNoAnswer() {
    if (!claimEnd()) {
        return;
    }
    listener_.ended = true;
    tellHookTransferOver(false);
    device_->Disconnect();
    post([this] { emit libraryFailed(); }, true);
}

void AlibiReadSession::checkSilence() {
    if (!running_) {
        watchdog_.stop();
        return;
    }
    if (nowMs() - lastCallbackMs_ < silenceLimit_.count()) {
        return;
    }
    if (!abandonListener()) {
        watchdog_.stop();  // the library is done; our own copy of the records is running
        return;
    }
    ReadOutcome outcome;
    outcome.end = ReadEnd::Silent;
    auto batch = copyAfterListener(outcome);
    emit silenceTimedOut(batch, outcome);
}

void AlibiReadSession::stop() {
    if (!running_ || stopRequested_) {
        return;
    }
    stopRequested_ = true;
    // The next record line ends the read as its end line would.
    scale_->EndAlibiReadAfter(std::numeric_limits<int64_t>::max());
    stopTimer_.start(kStopGrace);
}

// No record line came after the stop (the scale is silent, or still in the
// identity lines): the listener is stopped.
void AlibiReadSession::forceStop() {
    if (!running_ || !abandonListener()) {
        return;
    }
    ReadOutcome outcome;
    outcome.end = ReadEnd::Stopped;
    auto batch = copyAfterListener(outcome);
    emit stopped(batch, outcome);
}

bool AlibiReadSession::abandonListener() {
    {
        std::lock_guard lock(endMutex_);
        if (libraryEnded_) {
            return false;
        }
        abandoned_ = true;
    }
    watchdog_.stop();
    stopTimer_.stop();
    running_ = false;
    scale_->StopListener();
    device_->Disconnect();
    return true;
}

// The listener has been stopped and joined: the stored lines are the
// caller's to read now. Only a table the read defined can take them.
std::shared_ptr<RecordBatch> AlibiReadSession::copyAfterListener(ReadOutcome& outcome) {
    tellHookTransferOver(false);
    auto batch = std::make_shared<RecordBatch>();
    outcome.announced = listener_.count;
    outcome.received = scale_->GetAlibiLineCount();
    if (listener_.layout && !listener_.ended) {
        copyRecords(*batch, outcome);
    }
    return batch;
}
