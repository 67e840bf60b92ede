#pragma once

#include <QByteArrayView>
#include <QString>

// Texts from the library are 8-bit and may hold any byte the scale sent. Valid
// UTF-8 is read as such; anything else byte for byte (Latin-1), so that no
// byte turns into a replacement character and is lost. Null reads as empty.
QString fromLibraryText(const char* text);
QString fromLibraryText(QByteArrayView bytes);
