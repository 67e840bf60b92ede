#pragma once

#include <QString>

#include "LanguageTexts.h"

// Why a connection failed, read from the library's answer to "error":
// "<code>: <detail>", where the detail begins with the port, converter or
// address and ": ". Widget-free, so that any Qt program can say it.
struct ConnectionFailure {
    QString code;       // "not-found", "permission", "busy", ...; empty: no failure
    QString subject;    // the port, converter or address
    QString detail;     // the library's detail as it came (English)
    QString holderPid;  // for "busy": the process holding the line, where known

    // Null or "" gives an empty failure.
    static ConnectionFailure fromLibraryAnswer(const char* answer);
    bool isEmpty() const { return code.isEmpty(); }
    // The library's own line, "<code>: <detail>", for support.
    QString libraryLine() const;
};

// The reason in the language of `texts`, naming the port or address; then a
// hint where one helps (the dialout group for a permission problem, the D2XX
// library for USB); then, after a blank line, the library's own line. Empty
// for an empty failure.
QString ConnectionFailureText(const ConnectionFailure& failure, const LanguageTexts& texts);
