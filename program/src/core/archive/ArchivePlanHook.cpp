#include "ArchivePlanHook.h"

#include "AlibiReadSession.h"
#include "QELScale.h"

ArchivePlanHook::ArchivePlanHook(std::shared_ptr<const ArchiveSnapshot> snapshot, ReadMode mode,
                                 std::optional<ReadPlan> forced, ScaleKey forcedScale,
                                 Planned planned)
    : snapshot_(snapshot ? std::move(snapshot) : std::make_shared<const ArchiveSnapshot>()),
      mode_(mode),
      forced_(std::move(forced)),
      forcedScale_(std::move(forcedScale)),
      planned_(std::move(planned)) {}

void ArchivePlanHook::identityKnown(CVESKScaleInterface& scale, const DeviceIdentity& identity) {
    identitySeen_ = true;
    identity_.type = identity.type;
    identity_.serialNumber = identity.serialNumber;
    identity_.productionDate = identity.productionDate;
    identity_.columnLine = identity.recordHeader;
    announcedCount_ = identity.recordCount;
    const ScaleKey key = identity_.key();
    plan_ = forced_ && key == forcedScale_ ? *forced_
                                           : planRead(*snapshot_, key, announcedCount_, mode_);
    // Set before the first "Salibinext" goes out: the library must not ask
    // for a record past the stop record.
    if (plan_.kind == ReadPlan::Kind::Incremental && !scale.EndAlibiReadAfter(plan_.stopAfter)) {
        plan_.kind = ReadPlan::Kind::Full;
    }
    std::lock_guard lock(plannedMutex_);
    if (planned_) {
        planned_(plan_, identity_.columnLine);
    }
}

void ArchivePlanHook::transferOver(CVESKScaleInterface& scale, bool ended) {
    reported_ = true;
    ended_ = ended;
    finishedAt_ = QDateTime::currentDateTime();
    if (!identitySeen_) {
        return;
    }
    records_ = storedLines(scale);
    if (plan_.kind == ReadPlan::Kind::Incremental) {
        verdict_ = verifyIncremental(*snapshot_, plan_, announcedCount_, records_, ended);
    }
}

void ArchivePlanHook::detach() {
    std::lock_guard lock(plannedMutex_);
    planned_ = nullptr;
}

// The evidence: each line exactly as it came, and what the library parsed
// from it; a line it cannot parse is kept without fields.
RecordSet ArchivePlanHook::storedLines(CVESKScaleInterface& scale) {
    RecordSet records;
    const qint64 count = scale.GetAlibiLineCount();
    if (count <= 0) {
        return records;
    }
    constexpr qint64 kMaxReserved = qint64(1) << 22;
    const auto reserved = static_cast<size_t>(std::min(count, kMaxReserved));
    records.reserve(reserved, reserved * 112);
    QByteArray line;
    for (qint64 index = 1; index <= count; ++index) {
        const char* text = scale.GetAlibiRecordLine(index);
        line = text == nullptr ? QByteArray() : QByteArray(text);
        try {
            const AlibiRecord record = scale.GetAlibiRecord(index);
            records.append(line, &record);
        } catch (...) {
            records.append(line, nullptr);
        }
    }
    return records;
}
