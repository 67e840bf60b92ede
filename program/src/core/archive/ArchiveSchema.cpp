#include "ArchiveSchema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include "ArchiveDatabase.h"

namespace {

using Kind = ArchiveProblem::Kind;

// scale:      one per type and serial number of the identity lines.
// memory:     one set of records of a scale that belong together, with the
//             figures a read is planned by (kept by the writer in the
//             record's own transaction): the newest number, the highest N
//             with 1..N all held, the count, the last read that wrote it.
// alibi_read: every read that reached the archive: when, over which
//             connection, full or incremental (and where it stopped), the
//             announced and fetched counts, the records it added, whether it
//             got all it set out to get, and the identity texts and column
//             line as received. Times are UTC, ISO 8601 with milliseconds.
// record:     one per memory and record number, never changed once written:
//             the line exactly as received, the read that first brought it,
//             and the fields the library parsed from it (texts as bytes,
//             masses as the shortest text that reads back as the same
//             float, so that -0 and NaN survive). Its memory and read are
//             not foreign keys: checking them row by row costs a server two
//             thirds of a write's time, while the writer files a record only
//             with the read and memory of its own transaction and nothing is
//             ever deleted; the thorough check verifies them instead.
// read_line:  lines a read brought that are no record of its memory: lines
//             the library could not read, and a second, different line
//             under a number the read had already brought.
QStringList createStatements(const ArchiveDatabase& db) {
    const QString id = db.idColumn();
    const QString bytes = db.bytesType();
    return {
        QStringLiteral("CREATE TABLE archive_meta (name TEXT PRIMARY KEY, value TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE scale (id %1, type TEXT NOT NULL, serial_number BIGINT NOT "
                       "NULL, first_seen TEXT NOT NULL, UNIQUE (type, serial_number))")
            .arg(id),
        QStringLiteral("CREATE TABLE memory (id %1, scale_id BIGINT NOT NULL REFERENCES scale "
                       "(id), created_at TEXT NOT NULL, newest_record BIGINT NOT NULL, "
                       "unbroken_top BIGINT NOT NULL, record_count BIGINT NOT NULL, last_read_id "
                       "BIGINT NOT NULL)")
            .arg(id),
        QStringLiteral("CREATE INDEX memory_by_scale ON memory (scale_id)"),
        QStringLiteral(
            "CREATE TABLE alibi_read (id %1, scale_id BIGINT NOT NULL REFERENCES scale (id), "
            "memory_id BIGINT REFERENCES memory (id), started_at TEXT NOT NULL, finished_at TEXT "
            "NOT NULL, archived_at TEXT NOT NULL, connection TEXT NOT NULL, kind TEXT NOT NULL "
            "CHECK (kind IN ('full', 'incremental')), stop_after BIGINT NOT NULL, "
            "announced_count BIGINT NOT NULL, fetched_count BIGINT NOT NULL, added_count BIGINT "
            "NOT NULL, complete INTEGER NOT NULL CHECK (complete IN (0, 1)), type TEXT NOT NULL, "
            "serial_number BIGINT NOT NULL, production_date TEXT NOT NULL, column_line TEXT NOT "
            "NULL)")
            .arg(id),
        QStringLiteral("CREATE INDEX alibi_read_by_memory ON alibi_read (memory_id)"),
        QStringLiteral(
            "CREATE TABLE record (memory_id BIGINT NOT NULL, record_no BIGINT NOT NULL, read_id "
            "BIGINT NOT NULL, line %1 NOT NULL, rec_date %1 NOT NULL, rec_time %1 NOT NULL, number "
            "INTEGER NOT NULL, user_id "
            "%1 NOT NULL, product_id %1 NOT NULL, net TEXT NOT NULL, gross TEXT NOT NULL, tare "
            "TEXT NOT NULL, unit INTEGER NOT NULL, decimals INTEGER NOT NULL, stable INTEGER NOT "
            "NULL, PRIMARY KEY (memory_id, record_no))%2")
            .arg(bytes, db.recordTableOptions()),
        QStringLiteral("CREATE TABLE read_line (read_id BIGINT NOT NULL REFERENCES alibi_read "
                       "(id), position BIGINT NOT NULL, line %1 NOT NULL, PRIMARY KEY (read_id, "
                       "position))")
            .arg(bytes),
        QStringLiteral("INSERT INTO archive_meta (name, value) VALUES ('schema_version', '%1')")
            .arg(ArchiveSchema::kVersion),
    };
}

// Each table with the columns this program reads and writes.
const char* const kTableChecks[] = {
    "SELECT name, value FROM archive_meta",
    "SELECT id, type, serial_number, first_seen FROM scale",
    "SELECT id, scale_id, created_at, newest_record, unbroken_top, record_count, last_read_id "
    "FROM memory",
    "SELECT id, scale_id, memory_id, started_at, finished_at, archived_at, connection, kind, "
    "stop_after, announced_count, fetched_count, added_count, complete, type, serial_number, "
    "production_date, column_line FROM alibi_read",
    "SELECT memory_id, record_no, read_id, line, rec_date, rec_time, number, user_id, product_id, "
    "net, gross, tare, unit, decimals, stable FROM record",
    "SELECT read_id, position, line FROM read_line",
};

ArchiveProblem create(ArchiveDatabase& db) {
    ArchiveProblem problem = db.beginWrite();
    if (!problem.ok()) {
        return problem;
    }
    for (const QString& statement : createStatements(db)) {
        problem = db.exec(statement);
        if (!problem.ok()) {
            db.rollback();
            return problem;
        }
    }
    problem = db.commit();
    if (!problem.ok()) {
        db.rollback();
    }
    return problem;
}

ArchiveProblem checkTables(ArchiveDatabase& db) {
    for (const char* check : kTableChecks) {
        const QString sql = QLatin1String(check) + QLatin1String(" WHERE 1 = 0");
        const ArchiveProblem problem = db.exec(sql);
        if (problem.kind == Kind::Failed) {
            return ArchiveProblem::make(
                Kind::Damaged,
                QStringLiteral("the archive's tables are not complete: %1").arg(problem.detail));
        }
        if (!problem.ok()) {
            return problem;
        }
    }
    return {};
}

ArchiveProblem checkVersion(ArchiveDatabase& db) {
    const ArchiveResult<QVariant> version =
        db.scalar(QStringLiteral("SELECT value FROM archive_meta WHERE name = 'schema_version'"));
    if (!version.ok()) {
        return version.problem.kind == Kind::Failed
                   ? ArchiveProblem::make(Kind::Damaged,
                                          QStringLiteral("the archive has no layout version"))
                   : version.problem;
    }
    bool numeric = false;
    const int found = version.value.toString().toInt(&numeric);
    if (!numeric || found < 1) {
        return ArchiveProblem::make(Kind::Damaged,
                                    QStringLiteral("the archive's layout version \"%1\" is not one")
                                        .arg(version.value.toString()));
    }
    if (found > ArchiveSchema::kVersion) {
        return ArchiveProblem::make(
            Kind::NewerVersion,
            QStringLiteral("the archive has layout version %1; this program knows up to %2")
                .arg(found)
                .arg(ArchiveSchema::kVersion));
    }
    return {};
}

// The engine's own check; PostgreSQL keeps its files consistent by itself.
ArchiveProblem checkEngine(ArchiveDatabase& db, bool thorough) {
    if (!db.isSqlite()) {
        return {};
    }
    QSqlQuery check = db.query();
    check.setForwardOnly(true);
    if (!check.exec(thorough ? QStringLiteral("PRAGMA integrity_check")
                             : QStringLiteral("PRAGMA quick_check"))) {
        return db.problemFor(check.lastError());
    }
    QStringList findings;
    while (check.next()) {
        findings.append(check.value(0).toString());
    }
    if (findings != QStringList{QStringLiteral("ok")}) {
        return ArchiveProblem::make(
            Kind::Damaged,
            QStringLiteral("integrity check: %1").arg(findings.mid(0, 3).join(u"; ")));
    }
    if (thorough) {
        const ArchiveResult<QVariant> orphans =
            db.scalar(QStringLiteral("SELECT count(*) FROM pragma_foreign_key_check"));
        if (!orphans.ok()) {
            return orphans.problem;
        }
        if (orphans.value.toLongLong() != 0) {
            return ArchiveProblem::make(
                Kind::Damaged,
                QStringLiteral("%1 rows point at missing rows").arg(orphans.value.toLongLong()));
        }
    }
    return {};
}

struct ConsistencyQuery {
    const char* what;
    const char* sql;
};

// Each counts what should not exist.
const ConsistencyQuery kConsistencyQueries[] = {
    {"memories whose figures differ from their records",
     "SELECT count(*) FROM memory m WHERE m.record_count <> (SELECT count(*) FROM record r WHERE "
     "r.memory_id = m.id) OR m.newest_record <> (SELECT coalesce(max(r.record_no), 0) FROM record "
     "r WHERE r.memory_id = m.id) OR m.unbroken_top > m.newest_record OR (m.unbroken_top > 0 AND "
     "(SELECT count(*) FROM record r WHERE r.memory_id = m.id AND r.record_no BETWEEN 1 AND "
     "m.unbroken_top) <> m.unbroken_top)"},
    {"records of a missing memory or read",
     "SELECT count(*) FROM record r WHERE NOT EXISTS (SELECT 1 FROM memory m WHERE m.id = "
     "r.memory_id) OR NOT EXISTS (SELECT 1 FROM alibi_read a WHERE a.id = r.read_id)"},
    {"records brought by a read of another scale",
     "SELECT count(*) FROM record r JOIN memory m ON m.id = r.memory_id JOIN alibi_read a ON a.id "
     "= r.read_id WHERE a.scale_id <> m.scale_id"},
    {"reads filed under another scale's memory",
     "SELECT count(*) FROM alibi_read a JOIN memory m ON m.id = a.memory_id WHERE m.scale_id <> "
     "a.scale_id"},
};

ArchiveProblem checkConsistency(ArchiveDatabase& db) {
    for (const ConsistencyQuery& query : kConsistencyQueries) {
        const ArchiveResult<QVariant> count = db.scalar(QLatin1String(query.sql));
        if (!count.ok()) {
            return count.problem;
        }
        if (count.value.toLongLong() != 0) {
            return ArchiveProblem::make(Kind::Damaged, QStringLiteral("%1 %2")
                                                           .arg(count.value.toLongLong())
                                                           .arg(QLatin1String(query.what)));
        }
    }
    return {};
}

}  // namespace

ArchiveProblem ArchiveSchema::prepare(ArchiveDatabase& db) {
    // A damaged file shows here, at its first read.
    const ArchiveResult<QVariant> tables =
        db.isSqlite()
            ? db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' "
                                       "AND name = 'archive_meta'"))
            : db.scalar(QStringLiteral("SELECT count(*) FROM information_schema.tables WHERE "
                                       "table_schema = current_schema() AND table_name = "
                                       "'archive_meta'"));
    if (!tables.ok()) {
        return tables.problem;
    }
    if (tables.value.toLongLong() == 0) {
        const ArchiveResult<QVariant> others =
            db.isSqlite() ? db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master"))
                          : ArchiveResult<QVariant>{{}, QVariant(0)};
        if (!others.ok()) {
            return others.problem;
        }
        if (others.value.toLongLong() != 0) {
            return ArchiveProblem::make(
                Kind::Damaged,
                QStringLiteral("%1 holds another program's tables").arg(db.location()));
        }
        return create(db);
    }
    ArchiveProblem problem = checkVersion(db);
    if (!problem.ok()) {
        return problem;
    }
    return checkTables(db);
}

ArchiveProblem ArchiveSchema::check(ArchiveDatabase& db, bool thorough) {
    ArchiveProblem problem = checkEngine(db, thorough);
    if (!problem.ok()) {
        return problem;
    }
    problem = checkVersion(db);
    if (!problem.ok()) {
        return problem;
    }
    problem = checkTables(db);
    if (!problem.ok() || !thorough) {
        return problem;
    }
    return checkConsistency(db);
}
