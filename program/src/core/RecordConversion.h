#pragma once

#include <QByteArrayView>
#include <QDate>
#include <QString>

#include "DisplayFormats.h"
#include "LanguageTexts.h"
#include "QELScale.h"
#include "RecordLayout.h"
#include "RecordRows.h"

// A record's date as the scale writes it: year, month and day separated by
// "-"; a one- or two-digit year lies in the current century. A date that
// cannot be read is 1970-01-01.
QDate parseRecordDate(QByteArrayView text, int currentYear = QDate::currentDate().year());

// The record's date in the user's short date format.
QString ConvertRecordDate(const char* date, const DisplayFormats& formats);

// The symbol of a unit code; empty for an unknown code.
QString UnitName(int code);

// The value rounded to `decimals` places the way the scale shows it
// (halves away from zero); 0 or fewer places give a whole number.
double roundToDecimals(double value, int decimals);
// The same for a float (a record's mass), faster for up to eight places.
double roundFloatToDecimals(float value, int decimals);

// Turns library records into rows of one table. The first ten fields are
// filled by position; a value that the field's type cannot take throws
// RecordTableError, as does a table with fewer than ten fields.
class RecordConverter {
public:
    RecordConverter(const RecordLayout& layout, const LanguageTexts& texts,
                    const DisplayFormats& formats);

    void append(const AlibiRecord& record, RecordBatch& batch) const;

private:
    void storeText(RecordRow& row, int position, const char* bytes, TextArena& texts) const;
    void storeConverted(RecordRow& row, int position, const QString& text, TextArena& texts) const;
    void storeDateTime(RecordRow& row, const AlibiRecord& record, TextArena& texts) const;
    void storeMass(RecordRow& row, int position, float mass, int decimals, TextArena& texts) const;

    std::vector<FieldType> types_;
    int currentYear_;  // asked once: the clock's time zone lookup is slow
    QString yes_;
    QString no_;
    DisplayFormats formats_;
    QChar timeSeparator_;
};
