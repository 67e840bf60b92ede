#pragma once

#include <QString>

#include "ArchiveSnapshot.h"

class RecordSet;

// How a read fetches a scale's memory. The scale sends its records newest
// first, from the announced count down to 1, and an alibi record never
// changes once written: a read can end as soon as it reaches records the
// archive already holds, provided it checks that they are unchanged.

enum class ReadMode {
    Automatic,  // incremental where the archive allows it
    Full,       // the operator asked for every record
};

struct ReadPlan {
    enum class Kind { Full, Incremental };
    enum class Reason {
        NotArchived,        // the archive holds no record of this scale
        FullRequested,      // the operator asked for a full read
        NothingAnnounced,   // the scale announces no record
        CountBelowArchive,  // fewer records than the archive's newest: a cleared memory
        NoUnbrokenRecords,  // the archive lacks record 1: nothing to stop at
        CheckFailed,        // a fallback: an incremental read did not fit the archive
        Incremental,
    };

    Kind kind = Kind::Full;
    Reason reason = Reason::NotArchived;
    // The memory the read is expected to continue (archived first there when
    // its records fit), 0 for none.
    qint64 memoryId = 0;
    // A memory the read's records must never join, 0 for none: the one an
    // earlier read of this scale did not fit.
    qint64 excludedMemoryId = 0;
    // Incremental: the record number to pass to EndAlibiReadAfter, the
    // highest N with records 1..N all archived.
    qint64 stopAfter = 0;
};

// Decides a read from the snapshot once the scale's identity and count are
// known (status 0). Pure and quick: made on the listener thread.
ReadPlan planRead(const ArchiveSnapshot& snapshot, const ScaleKey& scale, qint64 announcedCount,
                  ReadMode mode);
ReadPlan planRead(const MemoryState* memory, qint64 announcedCount, ReadMode mode);

struct ReadVerdict {
    enum class Kind {
        // Every fetched line fits the memory, down to the stop record: the
        // scale's whole memory is the fetched records followed by the
        // archived ones numbered below olderBelow.
        Verified,
        // The records do not fit the memory (a changed line, numbers out of
        // step, an unreadable line, an end before the stop record): read the
        // scale again in full (fallbackPlan), into another memory.
        Mismatch,
        // The transfer ended without an end line before the stop record: the
        // read failed part-way. Archive what came; no fallback.
        Unfinished,
    };

    Kind kind = Kind::Mismatch;
    qint64 memoryId = 0;
    qint64 olderBelow = 0;
    QString why;  // for developers and tests, in English
};

// Checks an incremental read's records against the memory it was planned
// on: the fetched lines must be numbered from the count down, one by one,
// each line the archive holds must be byte for byte the archived one, and
// the last one must be the stop record. `transferEnded` is true once the
// library reported the end of the transfer (status 1). Pure: any thread.
ReadVerdict verifyIncremental(const ArchiveSnapshot& snapshot, const ReadPlan& plan,
                              qint64 announcedCount, const RecordSet& fetched, bool transferEnded);

// The full read that follows a Mismatch: a new memory, never the one that
// did not fit.
ReadPlan fallbackPlan(const ReadVerdict& verdict);
