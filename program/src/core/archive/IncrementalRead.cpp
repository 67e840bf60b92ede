#include "IncrementalRead.h"

#include "RecordSet.h"

namespace {

ReadPlan fullPlan(ReadPlan::Reason reason, qint64 memoryId = 0, qint64 excludedMemoryId = 0) {
    ReadPlan plan;
    plan.kind = ReadPlan::Kind::Full;
    plan.reason = reason;
    plan.memoryId = memoryId;
    plan.excludedMemoryId = excludedMemoryId;
    return plan;
}

ReadVerdict verdict(ReadVerdict::Kind kind, const ReadPlan& plan, QString why) {
    ReadVerdict result;
    result.kind = kind;
    result.memoryId = plan.memoryId;
    result.olderBelow = kind == ReadVerdict::Kind::Verified ? plan.stopAfter : 0;
    result.why = std::move(why);
    return result;
}

}  // namespace

ReadPlan planRead(const MemoryState* memory, qint64 announcedCount, ReadMode mode) {
    if (memory == nullptr) {
        return fullPlan(ReadPlan::Reason::NotArchived);
    }
    if (mode == ReadMode::Full) {
        return fullPlan(ReadPlan::Reason::FullRequested, memory->memoryId);
    }
    if (announcedCount <= 0) {
        return fullPlan(ReadPlan::Reason::NothingAnnounced, memory->memoryId);
    }
    if (announcedCount < memory->newestNumber) {
        return fullPlan(ReadPlan::Reason::CountBelowArchive, 0, memory->memoryId);
    }
    if (memory->unbrokenTop < 1) {
        return fullPlan(ReadPlan::Reason::NoUnbrokenRecords, memory->memoryId);
    }
    ReadPlan plan;
    plan.kind = ReadPlan::Kind::Incremental;
    plan.reason = ReadPlan::Reason::Incremental;
    plan.memoryId = memory->memoryId;
    plan.stopAfter = memory->unbrokenTop;
    return plan;
}

ReadPlan planRead(const ArchiveSnapshot& snapshot, const ScaleKey& scale, qint64 announcedCount,
                  ReadMode mode) {
    return planRead(snapshot.memoryFor(scale), announcedCount, mode);
}

ReadVerdict verifyIncremental(const ArchiveSnapshot& snapshot, const ReadPlan& plan,
                              qint64 announcedCount, const RecordSet& fetched, bool transferEnded) {
    using Kind = ReadVerdict::Kind;
    const MemoryState* memory = snapshot.memory(plan.memoryId);
    if (plan.kind != ReadPlan::Kind::Incremental || memory == nullptr) {
        return verdict(Kind::Mismatch, plan, QStringLiteral("not an incremental plan"));
    }
    for (size_t position = 0; position < fetched.size(); ++position) {
        const qint64 expected = announcedCount - static_cast<qint64>(position);
        if (!fetched.isParsed(position)) {
            return verdict(Kind::Mismatch, plan,
                           QStringLiteral("line %1 could not be read").arg(position + 1));
        }
        const qint64 number = fetched.recordId(position);
        if (number != expected) {
            return verdict(Kind::Mismatch, plan,
                           QStringLiteral("line %1 holds record %2 where %3 was due")
                               .arg(position + 1)
                               .arg(number)
                               .arg(expected));
        }
        const QByteArray* archived = memory->line(number);
        if (archived != nullptr && fetched.line(position) != QByteArrayView(*archived)) {
            return verdict(Kind::Mismatch, plan,
                           QStringLiteral("record %1 differs from the archived one").arg(number));
        }
        if (number == plan.stopAfter) {
            if (archived == nullptr) {
                return verdict(Kind::Mismatch, plan,
                               QStringLiteral("the snapshot lacks the stop record %1").arg(number));
            }
            if (position + 1 != fetched.size()) {
                return verdict(Kind::Mismatch, plan,
                               QStringLiteral("lines went on after the stop record"));
            }
            return verdict(Kind::Verified, plan, QString());
        }
    }
    if (transferEnded) {
        return verdict(Kind::Mismatch, plan,
                       QStringLiteral("the scale ended before record %1").arg(plan.stopAfter));
    }
    return verdict(Kind::Unfinished, plan,
                   QStringLiteral("the transfer stopped before record %1").arg(plan.stopAfter));
}

ReadPlan fallbackPlan(const ReadVerdict& verdict) {
    return fullPlan(ReadPlan::Reason::CheckFailed, 0, verdict.memoryId);
}
