#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

#include "LanguageTexts.h"

// How a read ended: the scale's end line (or the library's early end),
// silence from the scale, or the operator's stop.
enum class ReadEnd { Complete, Silent, Stopped };

// What one read brought home. Alibi records are evidence: a read keeps every
// record it could read, and when the lines the scale sent differ from what it
// announced, or some could not be read, the operator is told so instead of
// seeing a plain success.
struct ReadOutcome {
    qint64 announced = 0;  // the count line's number
    qint64 received = 0;   // record lines the library stored
    // The record numbers (first field, as sent) of the lines that could not be
    // read, in the order of the rows.
    QStringList unreadable;
    // No table can take the records (the column line gives fewer than ten
    // fields): the read ends in error.
    bool tableFailed = false;
    // A silent scale or the operator's stop keeps the records stored so far.
    ReadEnd end = ReadEnd::Complete;

    qint64 unreadableCount() const { return unreadable.size(); }
    qint64 rowsKept() const { return received - unreadableCount(); }
    // Everything announced arrived and could be read.
    bool isComplete() const {
        return end == ReadEnd::Complete && unreadable.isEmpty() && received == announced;
    }

    // The operator's account: announced, received and unreadable in the
    // locale's number format, the unreadable record numbers (the first
    // `listLimit` of them), and that every readable record is kept.
    QString describe(const LanguageTexts& texts, const QLocale& locale, int listLimit = 20) const;
};

// The record number a stored line carries: its first field, trimmed; "?" for
// a line without one.
QString recordNumberOfLine(const char* line);
