#include "LibraryText.h"

#include <QStringDecoder>

QString fromLibraryText(const char* text) {
    if (text == nullptr) {
        return QString();
    }
    const QByteArrayView bytes(text);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(bytes);
    if (!utf8.hasError()) {
        return decoded;
    }
    return QString::fromLatin1(bytes);
}

QByteArray toLibraryText(const QString& text) {
    return text.toUtf8();
}
