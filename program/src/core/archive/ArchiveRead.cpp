#include "ArchiveRead.h"

void FinishedRead::applyPlan(const ReadPlan& plan) {
    kind = plan.kind;
    stopAfter = plan.kind == ReadPlan::Kind::Incremental ? plan.stopAfter : 0;
    memoryId = plan.memoryId;
    excludedMemoryId = plan.excludedMemoryId;
}

void FinishedRead::applyVerdict(const ReadVerdict& verdict) {
    if (verdict.kind == ReadVerdict::Kind::Mismatch) {
        excludedMemoryId = verdict.memoryId;
        memoryId = 0;
    }
    complete = verdict.kind == ReadVerdict::Kind::Verified;
}
