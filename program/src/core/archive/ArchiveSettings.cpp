#include "ArchiveSettings.h"

#include <QSettings>

namespace {

constexpr auto kGroup = "Archive";

QSettings openStore() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("VESK"),
                     QStringLiteral("Tarvo"));
}

QString text(const QSettings& settings, const char* name) {
    const QVariant stored = settings.value(QLatin1String(name));
    return stored.canConvert<QString>() ? stored.toString() : QString();
}

void readBackend(const QString& backend, ArchiveConfig& config) {
    if (backend.isEmpty() || backend.compare(u"SQLite", Qt::CaseInsensitive) == 0) {
        config.backend = ArchiveBackend::SQLite;
    } else if (backend.compare(u"PostgreSQL", Qt::CaseInsensitive) == 0) {
        config.backend = ArchiveBackend::PostgreSQL;
    } else {
        config.settingsProblem = QStringLiteral("unknown archive backend \"%1\"").arg(backend);
    }
}

void readServer(const QSettings& settings, ArchiveConfig& config) {
    config.host = text(settings, "Host");
    config.database = text(settings, "Database");
    config.user = text(settings, "User");
    config.password = text(settings, "Password");
    config.options = text(settings, "Options");
    const QString port = text(settings, "Port").trimmed();
    if (!port.isEmpty()) {
        bool ok = false;
        const int value = port.toInt(&ok);
        if (!ok || value < 1 || value > 65535) {
            if (config.settingsProblem.isEmpty()) {
                config.settingsProblem =
                    QStringLiteral("archive port \"%1\" is not a port").arg(port);
            }
            return;
        }
        config.port = value;
    }
    if (config.backend == ArchiveBackend::PostgreSQL && config.settingsProblem.isEmpty() &&
        (config.host.isEmpty() || config.database.isEmpty())) {
        config.settingsProblem =
            QStringLiteral("the PostgreSQL archive needs a host and a database");
    }
}

}  // namespace

ArchiveConfig ArchiveSettings::read() {
    QSettings settings = openStore();
    settings.beginGroup(QLatin1String(kGroup));
    ArchiveConfig config;
    readBackend(text(settings, "Backend").trimmed(), config);
    config.sqliteFile = text(settings, "File");
    readServer(settings, config);
    return config;
}

bool ArchiveSettings::write(const ArchiveConfig& config) {
    QSettings settings = openStore();
    settings.beginGroup(QLatin1String(kGroup));
    settings.setValue(QStringLiteral("Backend"), config.backend == ArchiveBackend::PostgreSQL
                                                     ? QStringLiteral("PostgreSQL")
                                                     : QStringLiteral("SQLite"));
    settings.setValue(QStringLiteral("File"), config.sqliteFile);
    settings.setValue(QStringLiteral("Host"), config.host);
    settings.setValue(QStringLiteral("Port"), QString::number(config.port));
    settings.setValue(QStringLiteral("Database"), config.database);
    settings.setValue(QStringLiteral("User"), config.user);
    settings.setValue(QStringLiteral("Password"), config.password);
    settings.setValue(QStringLiteral("Options"), config.options);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}
