#include "ArchiveDatabase.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QStringList>
#include <atomic>

namespace {

// SQLite's primary result codes that mean more than "failed".
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteCantOpen = 14;
constexpr int kSqliteNotADatabase = 26;

// The archive's own limits for a PostgreSQL connection: a server that does
// not answer ends the attempt instead of hanging the archive's thread. The
// settings' options of the same name win.
const char* const kPostgresDefaults[] = {
    "connect_timeout=5",  "keepalives_idle=10",     "keepalives_interval=3",
    "keepalives_count=3", "tcp_user_timeout=15000",
};

QString nextConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("vesk-archive-%1").arg(++counter);
}

QString errorText(const QSqlError& error) {
    QString text = error.databaseText().trimmed();
    if (text.isEmpty()) {
        text = error.driverText().trimmed();
    }
    return text.simplified();
}

QString postgresOptions(const QString& configured) {
    QStringList options;
    QStringList names;
    for (const QString& option : configured.split(u';', Qt::SkipEmptyParts)) {
        options.append(option.trimmed());
        names.append(option.section(u'=', 0, 0).trimmed());
    }
    for (const char* option : kPostgresDefaults) {
        const QString text = QLatin1String(option);
        if (!names.contains(text.section(u'=', 0, 0))) {
            options.append(text);
        }
    }
    return options.join(u';');
}

}  // namespace

ArchiveDatabase::ArchiveDatabase() : connectionName_(nextConnectionName()) {}

ArchiveDatabase::~ArchiveDatabase() {
    close();
}

ArchiveProblem ArchiveDatabase::open(const ArchiveConfig& config) {
    close();
    if (!config.settingsProblem.isEmpty()) {
        return ArchiveProblem::make(ArchiveProblem::Kind::Settings, config.settingsProblem);
    }
    backend_ = config.backend;
    const QString driver = isSqlite() ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL");
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        return ArchiveProblem::make(
            ArchiveProblem::Kind::NoDriver,
            QStringLiteral("the Qt SQL driver %1 is not installed").arg(driver));
    }
    db_ = QSqlDatabase::addDatabase(driver, connectionName_);
    const ArchiveProblem problem = isSqlite() ? openSqlite(config) : openPostgres(config);
    if (!problem.ok()) {
        close();
        return problem;
    }
    open_ = true;
    return {};
}

ArchiveProblem ArchiveDatabase::openSqlite(const ArchiveConfig& config) {
    const QString file = config.effectiveSqliteFile();
    location_ = file;
    const QFileInfo info(file);
    if (!QDir().mkpath(info.absolutePath())) {
        return ArchiveProblem::make(
            ArchiveProblem::Kind::CannotOpen,
            QStringLiteral("cannot create the folder %1").arg(info.absolutePath()));
    }
    if (info.isDir()) {
        return ArchiveProblem::make(ArchiveProblem::Kind::CannotOpen,
                                    QStringLiteral("%1 is a folder").arg(file));
    }
    db_.setDatabaseName(file);
    db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(config.busyTimeoutMs));
    if (!db_.open()) {
        ArchiveProblem problem = problemFor(db_.lastError());
        if (problem.kind == ArchiveProblem::Kind::Failed) {
            problem.kind = ArchiveProblem::Kind::CannotOpen;
        }
        return problem;
    }
    // Write-ahead log with a sync at every commit: a commit that returned
    // survives a power loss, and a transaction cut off half-way is never
    // seen. The log mode stays with the file; the others are per connection.
    ArchiveResult<QVariant> mode = scalar(QStringLiteral("PRAGMA journal_mode=WAL"));
    if (!mode.ok()) {
        return mode.problem;
    }
    if (mode.value.toString().compare(u"wal", Qt::CaseInsensitive) != 0) {
        return ArchiveProblem::make(
            ArchiveProblem::Kind::CannotOpen,
            QStringLiteral("%1 does not take a write-ahead log (journal mode %2)")
                .arg(file, mode.value.toString()));
    }
    return setUp(
        {QStringLiteral("PRAGMA synchronous=FULL"), QStringLiteral("PRAGMA foreign_keys=ON")});
}

ArchiveProblem ArchiveDatabase::openPostgres(const ArchiveConfig& config) {
    location_ = QStringLiteral("%1:%2/%3").arg(config.host).arg(config.port).arg(config.database);
    db_.setHostName(config.host);
    db_.setPort(config.port);
    db_.setDatabaseName(config.database);
    db_.setUserName(config.user);
    db_.setPassword(config.password);
    db_.setConnectOptions(postgresOptions(config.options));
    if (!db_.open()) {
        return ArchiveProblem::make(ArchiveProblem::Kind::CannotOpen, errorText(db_.lastError()));
    }
    return setUp({QStringLiteral("SET lock_timeout = %1").arg(config.busyTimeoutMs),
                  // Notices ("already exists, skipping") are not the operator's business.
                  QStringLiteral("SET client_min_messages = warning")});
}

ArchiveProblem ArchiveDatabase::setUp(const QStringList& statements) {
    for (const QString& statement : statements) {
        const ArchiveProblem problem = exec(statement);
        if (!problem.ok()) {
            return problem;
        }
    }
    return {};
}

void ArchiveDatabase::close() {
    if (db_.isValid()) {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName_);
    }
    open_ = false;
}

QSqlQuery ArchiveDatabase::query() const {
    return QSqlQuery(db_);
}

ArchiveProblem ArchiveDatabase::exec(const QString& sql) {
    QSqlQuery statement(db_);
    if (!statement.exec(sql)) {
        return problemFor(statement.lastError());
    }
    return {};
}

ArchiveProblem ArchiveDatabase::prepare(QSqlQuery& query, const QString& sql) const {
    if (!query.prepare(sql)) {
        return problemFor(query.lastError());
    }
    return {};
}

ArchiveProblem ArchiveDatabase::exec(QSqlQuery& query) const {
    if (!query.exec()) {
        return problemFor(query.lastError());
    }
    return {};
}

ArchiveProblem ArchiveDatabase::run(QSqlQuery& query, const QString& sql,
                                    const QVariantList& values) const {
    ArchiveProblem problem = prepare(query, sql);
    if (!problem.ok()) {
        return problem;
    }
    for (qsizetype i = 0; i < values.size(); ++i) {
        query.bindValue(static_cast<int>(i), values[i]);
    }
    return exec(query);
}

ArchiveResult<QVariant> ArchiveDatabase::scalar(const QString& sql) {
    QSqlQuery statement(db_);
    if (!statement.exec(sql)) {
        return {problemFor(statement.lastError()), {}};
    }
    if (!statement.next()) {
        ArchiveProblem problem = problemFor(statement.lastError());
        if (problem.ok()) {
            problem = ArchiveProblem::make(ArchiveProblem::Kind::Failed,
                                           QStringLiteral("no answer to: %1").arg(sql));
        }
        return {problem, {}};
    }
    return {{}, statement.value(0)};
}

ArchiveProblem ArchiveDatabase::beginWrite() {
    return exec(isSqlite() ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
}

ArchiveProblem ArchiveDatabase::commit() {
    return exec(QStringLiteral("COMMIT"));
}

void ArchiveDatabase::rollback() {
    exec(QStringLiteral("ROLLBACK"));
}

ArchiveProblem ArchiveDatabase::problemFor(const QSqlError& error) const {
    using Kind = ArchiveProblem::Kind;
    if (error.type() == QSqlError::NoError) {
        return {};
    }
    const QString text = errorText(error);
    const QString code = error.nativeErrorCode();
    if (isSqlite()) {
        bool numeric = false;
        const int primary = code.toInt(&numeric) & 0xff;
        if (numeric) {
            switch (primary) {
                case kSqliteBusy:
                case kSqliteLocked:
                    return ArchiveProblem::make(Kind::Locked, text);
                case kSqliteCorrupt:
                case kSqliteNotADatabase:
                    return ArchiveProblem::make(Kind::Damaged, text);
                case kSqliteCantOpen:
                    return ArchiveProblem::make(Kind::CannotOpen, text);
                default:
                    break;
            }
        }
        return ArchiveProblem::make(Kind::Failed, text);
    }
    // SQLSTATE classes: lock not available, connection exceptions, data
    // corrupted; a lost server reports no state at all.
    if (code == u"55P03" || code == u"40P01") {
        return ArchiveProblem::make(Kind::Locked, text);
    }
    if (code.startsWith(u"08") || error.type() == QSqlError::ConnectionError) {
        return ArchiveProblem::make(Kind::CannotOpen, text);
    }
    if (code.startsWith(u"XX00")) {
        return ArchiveProblem::make(Kind::Damaged, text);
    }
    return ArchiveProblem::make(Kind::Failed, text);
}

QString ArchiveDatabase::idColumn() const {
    return isSqlite() ? QStringLiteral("INTEGER PRIMARY KEY")
                      : QStringLiteral("BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
}

QString ArchiveDatabase::bytesType() const {
    return isSqlite() ? QStringLiteral("BLOB") : QStringLiteral("BYTEA");
}

QString ArchiveDatabase::recordTableOptions() const {
    // Records stored in their key's order, without a second copy of the key.
    return isSqlite() ? QStringLiteral(" WITHOUT ROWID") : QString();
}

QString ArchiveDatabase::lockRowClause() const {
    // SQLite's write transaction already holds the whole file.
    return isSqlite() ? QString() : QStringLiteral(" FOR UPDATE");
}
