#include "RecordFormat.h"

#include <algorithm>
#include <cmath>

#include "QELScale.h"

namespace RecordFormat {
namespace {

const QStringList kFields{
    QStringLiteral("recordId"), QStringLiteral("date"),     QStringLiteral("time"),
    QStringLiteral("number"),   QStringLiteral("userId"),   QStringLiteral("productId"),
    QStringLiteral("net"),      QStringLiteral("gross"),    QStringLiteral("tare"),
    QStringLiteral("unit"),     QStringLiteral("decimals"), QStringLiteral("stable")};

int shownDecimals(qint16 decimals) {
    return std::clamp<int>(decimals, 0, 9);
}

QString jsonMass(float value, int decimals) {
    const QString text = massText(value, decimals);
    return text.isEmpty() ? QStringLiteral("null") : text;
}

QString csvField(const QString& text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\r') &&
        !text.contains(u'\n')) {
        return text;
    }
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString bool_(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// The record's values in field order, as text for either format.
QStringList values(const RecordRow& row, bool json) {
    const int decimals = shownDecimals(row.decimals);
    auto text = [json](const QString& value) { return json ? jsonString(value) : value; };
    auto mass = [json, decimals](float value) {
        return json ? jsonMass(value, decimals) : massText(value, decimals);
    };
    return {QString::number(row.recordId),
            text(row.date),
            text(row.time),
            QString::number(row.number),
            text(row.userId),
            text(row.productId),
            mass(row.net),
            mass(row.gross),
            mass(row.tare),
            text(unitSymbol(row.unit)),
            QString::number(row.decimals),
            bool_(row.stable)};
}

}  // namespace

QString unitSymbol(qint32 code) {
    switch (code) {
        case qelscale::kUnitCarat:
            return QStringLiteral("ct");
        case qelscale::kUnitMilligram:
            return QStringLiteral("mg");
        case qelscale::kUnitGram:
            return QStringLiteral("g");
        case qelscale::kUnitKilogram:
            return QStringLiteral("kg");
        case qelscale::kUnitPound:
            return QStringLiteral("lb");
        case qelscale::kUnitOunce:
            return QStringLiteral("oz");
        case qelscale::kUnitTroyOunce:
            return QStringLiteral("ozt");
        case qelscale::kUnitGrain:
            return QStringLiteral("gr");
        case qelscale::kUnitPennyweight:
            return QStringLiteral("dwt");
        case qelscale::kUnitNewton:
            return QStringLiteral("N");
        default:
            return QString();
    }
}

QString massText(float value, int decimals) {
    if (!std::isfinite(value)) {
        return QString();
    }
    return QString::number(double(value), 'f', std::clamp(decimals, 0, 9));
}

QString jsonString(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
            case '"':
                out += QStringLiteral("\\\"");
                break;
            case '\\':
                out += QStringLiteral("\\\\");
                break;
            case '\n':
                out += QStringLiteral("\\n");
                break;
            case '\r':
                out += QStringLiteral("\\r");
                break;
            case '\t':
                out += QStringLiteral("\\t");
                break;
            default:
                if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
                    out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
                } else {
                    out += c;
                }
        }
    }
    return out + u'"';
}

QByteArray jsonIdentityLine(const IdentityLine& identity) {
    return QStringLiteral(
               "{\"type\":%1,\"serialNumber\":%2,\"productionDate\":%3,"
               "\"count\":%4}\n")
        .arg(jsonString(identity.type))
        .arg(identity.serialNumber)
        .arg(jsonString(identity.productionDate))
        .arg(identity.count)
        .toUtf8();
}

void appendJsonLine(QByteArray& out, const RecordRow& row) {
    const QStringList fieldValues = values(row, true);
    QString line = QStringLiteral("{");
    for (qsizetype i = 0; i < kFields.size(); ++i) {
        if (i > 0) {
            line += u',';
        }
        line += u'"' + kFields[i] + QStringLiteral("\":") + fieldValues[i];
    }
    out += (line + QStringLiteral("}\n")).toUtf8();
}

QByteArray csvHeader() {
    return (kFields.join(u',') + QStringLiteral("\r\n")).toUtf8();
}

void appendCsvLine(QByteArray& out, const RecordRow& row) {
    QStringList fields = values(row, false);
    for (QString& field : fields) {
        field = csvField(field);
    }
    out += (fields.join(u',') + QStringLiteral("\r\n")).toUtf8();
}

}  // namespace RecordFormat
