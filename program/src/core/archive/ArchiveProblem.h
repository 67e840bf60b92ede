#pragma once

#include <QString>
#include <utility>

// Why the archive could not do what was asked. The archive never throws and
// never stops a read: every call returns one of these, and a caller that gets
// anything but None goes on without the archive. The kind picks the
// operator's headline (the window translates it); the detail is the
// database's own English text, for the second line of that message and for
// developers.
struct ArchiveProblem {
    enum class Kind {
        None,
        Settings,      // the archive settings name no usable archive
        NoDriver,      // Qt's SQL driver for the backend is not installed
        CannotOpen,    // file not creatable or openable; server unreachable or login refused
        Locked,        // another program held the archive longer than the busy timeout
        Damaged,       // not an archive, or its integrity check failed
        NewerVersion,  // written by a newer program, with a layout this one does not know
        Failed,        // a statement failed for another reason; nothing of that step was kept
        Cancelled,     // the caller stopped a write; nothing of it was kept
        NotOpen,       // asked before a successful open
    };

    Kind kind = Kind::None;
    QString detail;

    bool ok() const { return kind == Kind::None; }
    static ArchiveProblem make(Kind kind, QString detail) { return {kind, std::move(detail)}; }
};

// A stable English name of the kind ("locked", "damaged", ...), for logs and
// test messages; not for the operator.
QString archiveProblemName(ArchiveProblem::Kind kind);

// A value, or the problem that kept the archive from giving it.
template <typename T>
struct ArchiveResult {
    ArchiveProblem problem;
    T value{};

    bool ok() const { return problem.ok(); }
};
