#pragma once

#include "ArchiveProblem.h"

class ArchiveDatabase;

// The archive's tables, the same on both backends (see ArchiveSchema.cpp for
// what each column holds). The layout carries a version in archive_meta: a
// new archive gets the current one, an archive of a newer layout is refused
// rather than misread.
namespace ArchiveSchema {

constexpr int kVersion = 1;

// Creates the tables in a new archive, or checks that an existing one has
// this program's layout.
ArchiveProblem prepare(ArchiveDatabase& db);

// The engine's structural check where it has one (SQLite: quick_check when
// `thorough` is false, integrity_check and foreign_key_check when true),
// then the archive's own consistency: every memory's figures match its
// records, every record belongs to a read of the memory's scale. Damaged
// when anything is off.
ArchiveProblem check(ArchiveDatabase& db, bool thorough);

}  // namespace ArchiveSchema
