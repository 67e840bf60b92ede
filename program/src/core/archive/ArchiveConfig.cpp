#include "ArchiveConfig.h"

#include <QDir>
#include <QStandardPaths>

QString ArchiveConfig::defaultSqliteFile() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("archive.sqlite"));
}

QString ArchiveConfig::effectiveSqliteFile() const {
    return sqliteFile.isEmpty() ? defaultSqliteFile() : sqliteFile;
}
