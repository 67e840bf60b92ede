#pragma once

#include <QByteArrayView>
#include <QString>

// Library texts are 8-bit and hold whatever bytes the scale sent: valid
// UTF-8 is read as such, anything else byte for byte, so that no byte is
// lost to a replacement character. Null reads as empty.
QString fromLibraryText(const char* text);

// The other way, for values the user typed (a WiFi password, say).
QByteArray toLibraryText(const QString& text);
