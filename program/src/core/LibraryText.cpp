#include "LibraryText.h"

#include <QStringDecoder>

QString fromLibraryText(QByteArrayView bytes) {
    bool ascii = true;
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        return QString::fromLatin1(bytes);
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return QString::fromLatin1(bytes);
    }
    return text;
}

QString fromLibraryText(const char* text) {
    return text == nullptr ? QString() : fromLibraryText(QByteArrayView(text));
}
