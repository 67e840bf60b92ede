#include "ArchiveProblem.h"

QString archiveProblemName(ArchiveProblem::Kind kind) {
    switch (kind) {
        case ArchiveProblem::Kind::None:
            return QStringLiteral("none");
        case ArchiveProblem::Kind::Settings:
            return QStringLiteral("settings");
        case ArchiveProblem::Kind::NoDriver:
            return QStringLiteral("no-driver");
        case ArchiveProblem::Kind::CannotOpen:
            return QStringLiteral("cannot-open");
        case ArchiveProblem::Kind::Locked:
            return QStringLiteral("locked");
        case ArchiveProblem::Kind::Damaged:
            return QStringLiteral("damaged");
        case ArchiveProblem::Kind::NewerVersion:
            return QStringLiteral("newer-version");
        case ArchiveProblem::Kind::Failed:
            return QStringLiteral("failed");
        case ArchiveProblem::Kind::Cancelled:
            return QStringLiteral("cancelled");
        case ArchiveProblem::Kind::NotOpen:
            return QStringLiteral("not-open");
    }
    return QStringLiteral("unknown");
}
