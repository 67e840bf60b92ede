#include "AlibiReadSession.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <algorithm>
#include <cmath>

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
        case 0:
            handleIdentity();
            break;
        case 1:
            handleAllRecordsStored();
            break;
        case 2:
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
            listener_.wanted = listener_.count;
            if (listener_.hook) {
                listener_.wanted = listener_.hook->identityKnown(*scale_, identity);
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
    tellHookTransferOver(true);
    post([this] { emit parsingStarted(); });
    auto batch = std::make_shared<RecordBatch>();
    bool complete = true;
    copyRecords(*batch, complete);
    device_->Disconnect();
    post([this, batch, complete] { emit recordsCopied(batch, complete); }, true);
}

void AlibiReadSession::tellHookTransferOver(bool ended) {
    if (listener_.hook && !listener_.hookTold) {
        listener_.hookTold = true;
        listener_.hook->transferOver(*scale_, ended);
    }
}

// The records are copied here, on the listener thread, while the library
// guarantees them, newest stored line last: rows go from the count (or the
// number of lines the hook asked for) down to 1.
void AlibiReadSession::copyRecords(RecordBatch& batch, bool& complete) {
    const qint64 count = listener_.wanted;
    if (count <= 0 || !listener_.layout) {
        return;
    }
    listener_.lastPercent = 0;  // the window resets its bar when parsing starts
    try {
        const RecordConverter converter(*listener_.layout, listener_.setup->texts,
                                        listener_.setup->formats);
        // The count is the scale's word: reserve for it only within reason.
        constexpr qint64 kMaxReserved = qint64(1) << 22;
        const auto reserved = static_cast<size_t>(std::min(count, kMaxReserved));
        batch.rows.reserve(reserved);
        batch.texts.reserve(reserved * 24);
        for (qint64 i = count; i >= 1; --i) {
            const AlibiRecord record = scale_->GetAlibiRecord(i);
            converter.append(record, batch);
            postProgress(static_cast<int>(100 * (count - i) / count));
        }
    } catch (...) {
        // A missing or malformed record ends the copy; the rows before it stay.
        complete = false;
    }
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
    {
        std::lock_guard lock(endMutex_);
        if (libraryEnded_) {
            // The library is done; our own copy of the records is running.
            watchdog_.stop();
            return;
        }
        abandoned_ = true;
    }
    watchdog_.stop();
    running_ = false;
    scale_->StopListener();
    // The listener is gone: its state is this thread's now.
    tellHookTransferOver(false);
    device_->Disconnect();
    emit silenceTimedOut();
}
