#pragma once

#include <QDateTime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "ArchiveRead.h"
#include "ArchiveSnapshot.h"
#include "IncrementalRead.h"
#include "ReadListenerHook.h"
#include "RecordSet.h"

// The archive's part of one read, on the library's listener thread: plans the
// read from the snapshot once the scale's identity and count are known, ends
// an incremental transfer at the stop record, and keeps every line the
// library stored, with the check of an incremental read's lines.
//
// Threads: the listener writes it; the read's owner reads the results on its
// own thread once the session has reported the end of the read (the queued
// signal orders the two). `planned` runs on the listener thread.
class ArchivePlanHook : public ReadListenerHook {
public:
    using Planned = std::function<void(const ReadPlan& plan, const QString& columnLine)>;

    // `forced`, when given, is the plan for the scale `forcedScale` (the full
    // read after a failed check); other scales are planned as usual.
    ArchivePlanHook(std::shared_ptr<const ArchiveSnapshot> snapshot, ReadMode mode,
                    std::optional<ReadPlan> forced, ScaleKey forcedScale, Planned planned);

    void identityKnown(CVESKScaleInterface& scale, const DeviceIdentity& identity) override;
    void transferOver(CVESKScaleInterface& scale, bool ended) override;

    // No more `planned` calls after this returns (the owner is going away).
    void detach();

    // Results, for the read's owner after the end.
    bool identitySeen() const { return identitySeen_; }
    bool ended() const { return ended_; }
    // transferOver() has been called.
    bool transferReported() const { return reported_; }
    const ReadIdentity& identity() const { return identity_; }
    qint64 announcedCount() const { return announcedCount_; }
    const ReadPlan& plan() const { return plan_; }
    // Only for an incremental plan, after the transfer.
    const ReadVerdict& verdict() const { return verdict_; }
    const ArchiveSnapshot& snapshot() const { return *snapshot_; }
    QDateTime finishedAt() const { return finishedAt_; }
    // Every stored line, in arrival order; the owner may take them.
    RecordSet& records() { return records_; }

private:
    static RecordSet storedLines(CVESKScaleInterface& scale);

    std::shared_ptr<const ArchiveSnapshot> snapshot_;
    ReadMode mode_;
    std::optional<ReadPlan> forced_;
    ScaleKey forcedScale_;

    std::mutex plannedMutex_;
    Planned planned_;  // guarded by plannedMutex_

    bool identitySeen_ = false;
    bool ended_ = false;
    bool reported_ = false;
    ReadIdentity identity_;
    qint64 announcedCount_ = 0;
    ReadPlan plan_;
    ReadVerdict verdict_;
    QDateTime finishedAt_;
    RecordSet records_;
};
