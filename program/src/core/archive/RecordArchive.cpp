#include "RecordArchive.h"

#include "ArchiveSchema.h"

ArchiveProblem RecordArchive::open(const ArchiveConfig& config) {
    ArchiveProblem problem = db_.open(config);
    if (problem.ok()) {
        problem = ArchiveSchema::prepare(db_);
    }
    if (problem.ok()) {
        // A file damaged where its first pages are fine shows here, before
        // any read relies on it.
        problem = ArchiveSchema::check(db_, false);
    }
    if (!problem.ok()) {
        db_.close();
    }
    return problem;
}

ArchiveProblem RecordArchive::integrityCheck() {
    if (!db_.isOpen()) {
        return ArchiveProblem::make(ArchiveProblem::Kind::NotOpen,
                                    QStringLiteral("the archive is not open"));
    }
    return ArchiveSchema::check(db_, true);
}
