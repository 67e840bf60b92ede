#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One alibi record, copied out of the library's short-lived texts.
struct RecordRow {
    qint64 recordId = 0;
    QString date;
    QString time;
    qint32 number = 0;
    QString userId;
    QString productId;
    float net = 0;
    float gross = 0;
    float tare = 0;
    qint32 unit = 0;
    qint16 decimals = 0;
    bool stable = false;
};

// The identity that heads a read.
struct IdentityLine {
    QString type;
    qint32 serialNumber = 0;
    QString productionDate;
    qint64 count = 0;
};

// The two output formats of a read. Numbers never follow the user's locale:
// "." is the decimal separator, and masses carry the record's decimals.
namespace RecordFormat {

// "kg" for 4 and so on; empty for a code without a unit.
QString unitSymbol(qint32 code);
// The mass with `decimals` places (0 to 9); empty for a value that is not a number.
QString massText(float value, int decimals);
// A JSON string literal, quotes included.
QString jsonString(const QString& text);

// JSON lines: the identity object, then one object per record.
QByteArray jsonIdentityLine(const IdentityLine& identity);
void appendJsonLine(QByteArray& out, const RecordRow& row);
// RFC 4180: a header of the field names, CR LF line ends, quotes where needed.
QByteArray csvHeader();
void appendCsvLine(QByteArray& out, const RecordRow& row);

}  // namespace RecordFormat
