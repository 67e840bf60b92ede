#pragma once

#include <QDateTime>
#include <QString>

// Times in the archive: UTC, ISO 8601 with milliseconds
// ("2024-01-05T12:00:01.123Z"), so that text order is time order on both
// backends. An unset time is taken as now.
QString archiveTime(const QDateTime& time);
QDateTime fromArchiveTime(const QString& text);
