#pragma once

#include "ArchiveConfig.h"

// The archive's settings, on QSettings("VESK", "Tarvo") in the group
// "Archive" (on Windows the subkey "Software\VESK\Tarvo\Archive"), apart from
// the connection and language values so that none of those changes. All
// values are texts; a missing value takes the default.
//
//   Archive/Backend   "SQLite" (default) or "PostgreSQL", any letter case
//   Archive/File      SQLite: the archive file; default ArchiveConfig::defaultSqliteFile()
//   Archive/Host      PostgreSQL: the server's host name or address
//   Archive/Port      PostgreSQL: the server's port, default 5432
//   Archive/Database  PostgreSQL: the database
//   Archive/User      PostgreSQL: the login
//   Archive/Password  PostgreSQL: the password; better left out (see ArchiveConfig)
//   Archive/Options   PostgreSQL: more libpq parameters, "name=value;name=value"
//
// Reading never writes: a store that only ever held defaults stays as it was.
class ArchiveSettings {
public:
    // A value the archive cannot use (an unknown backend, a port that is not
    // a number, PostgreSQL without a host or database) is named in
    // ArchiveConfig::settingsProblem, and the archive's open() refuses it.
    static ArchiveConfig read();
    // Writes every value of the group; false when the store cannot be written.
    static bool write(const ArchiveConfig& config);
};
