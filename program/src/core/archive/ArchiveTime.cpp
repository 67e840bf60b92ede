#include "ArchiveTime.h"

QString archiveTime(const QDateTime& time) {
    const QDateTime moment = time.isValid() ? time : QDateTime::currentDateTimeUtc();
    return moment.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime fromArchiveTime(const QString& text) {
    return QDateTime::fromString(text, Qt::ISODateWithMs);
}
