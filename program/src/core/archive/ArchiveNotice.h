#pragma once

#include <QString>

#include "ArchiveProblem.h"

// What the archive did for the operator's last action, for the window to
// show in the operator's language (ArchiveTexts::notice).
struct ArchiveNotice {
    enum class Kind {
        Opening,       // the archive is being opened
        Ready,         // open; `location` says where
        Unavailable,   // could not be opened: `problem`
        Incremental,   // `fresh` new records read, `fromArchive` taken from the archive
        FullArchived,  // a full read filed: `fresh` records the archive did not hold
        Fallback,      // the scale's records did not fit the archive: a full read follows
        OlderMissing,  // the archive could not give the older records: a full read follows
        NotArchived,   // the read is not in the archive: `problem`
        PartArchived,  // a read broken off: `fresh` of its records filed
        NoAnswer,      // the archive did not answer in time: the read went on without it
        Browsing,      // the grid shows an archived memory of `count` records
        BrowseFailed,  // an archived memory could not be shown: `problem`
    };

    Kind kind = Kind::Opening;
    ArchiveProblem problem;
    QString location;
    QString scale;  // the type of a browsed memory's scale
    qint32 serialNumber = 0;
    qint64 fresh = 0;
    qint64 fromArchive = 0;
    qint64 count = 0;

    // The operator should be told at once (a message), not only in the status line.
    bool isAlert() const { return kind == Kind::NotArchived || kind == Kind::BrowseFailed; }
};
