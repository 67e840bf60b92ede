#pragma once

#include <QString>

enum class ArchiveBackend { SQLite, PostgreSQL };

// Where the record archive lives. The default needs no set-up: an SQLite file
// in the user's data folder. A PostgreSQL server lets several scales and
// sites share one archive.
struct ArchiveConfig {
    ArchiveBackend backend = ArchiveBackend::SQLite;

    // SQLite: the archive file; empty for defaultSqliteFile().
    QString sqliteFile;

    // PostgreSQL: the server and the login. An empty password leaves it to
    // libpq (a ~/.pgpass file, PGPASSWORD), which keeps it out of the
    // settings.
    QString host;
    int port = 5432;
    QString database;
    QString user;
    QString password;
    // More libpq connection parameters, "name=value" separated by ";", as
    // QSqlDatabase::setConnectOptions takes them (e.g. "sslmode=require").
    // They override the archive's own time-outs of the same name.
    QString options;

    // How long a statement waits for another program's lock before the
    // archive reports it locked.
    int busyTimeoutMs = 5000;

    // A settings value the archive cannot use; open() reports it.
    QString settingsProblem;

    // <AppDataLocation>/archive.sqlite. The location follows the
    // application's organisation and name (QCoreApplication), so the program
    // sets them ("VESK", "Tarvo") before it opens the archive.
    static QString defaultSqliteFile();
    QString effectiveSqliteFile() const;
};
