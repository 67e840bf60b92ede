#include "RecordConversion.h"

#include <QVarLengthArray>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>

#include "LibraryText.h"
#include "QELScale.h"
#include "RecordTableError.h"

namespace {

// Reads 1 to `maxDigits` digits; -1 when there are none.
int readNumber(QByteArrayView text, qsizetype& i, int maxDigits, int* digits) {
    const qsizetype start = i;
    int value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < maxDigits) {
        value = value * 10 + (text[i] - '0');
        ++i;
    }
    *digits = static_cast<int>(i - start);
    return i == start ? -1 : value;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

void setInteger(RecordRow& row, int position, qint64 value) {
    row.values[position] = static_cast<quint64>(value);
}

void setReal(RecordRow& row, int position, double value) {
    static_assert(sizeof(double) == sizeof(quint64));
    std::memcpy(&row.values[position], &value, sizeof value);
}

bool isAscii(const char* text, qsizetype length) {
    for (qsizetype i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80) {
            return false;
        }
    }
    return true;
}

}  // namespace

QDate parseRecordDate(QByteArrayView text, int currentYear) {
    const QDate fallback(1970, 1, 1);
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    int parts[3];
    int yearDigits = 0;
    for (int part = 0; part < 3; ++part) {
        int digits = 0;
        parts[part] = readNumber(text, i, part == 0 ? 4 : 2, &digits);
        if (parts[part] < 0) {
            return fallback;
        }
        if (part == 0) {
            yearDigits = digits;
        }
        if (part < 2) {
            if (i >= text.size() || text[i] != '-') {
                return fallback;
            }
            ++i;
        }
    }
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    if (i != text.size()) {
        return fallback;
    }
    int year = parts[0];
    if (yearDigits <= 2) {
        year += currentYear / 100 * 100;
    }
    const QDate date(year, parts[1], parts[2]);
    return date.isValid() ? date : fallback;
}

QString ConvertRecordDate(const char* date, const DisplayFormats& formats) {
    return formats.date(parseRecordDate(date == nullptr ? QByteArrayView() : QByteArrayView(date)));
}

namespace {

const char* unitSymbol(int code) {
    switch (code) {
        case qelscale::kUnitCarat:
            return "ct";
        case qelscale::kUnitMilligram:
            return "mg";
        case qelscale::kUnitGram:
            return "g";
        case qelscale::kUnitKilogram:
            return "kg";
        case qelscale::kUnitPound:
            return "lb";
        case qelscale::kUnitOunce:
            return "oz";
        case qelscale::kUnitTroyOunce:
            return "ozt";
        case qelscale::kUnitGrain:
            return "gr";
        case qelscale::kUnitPennyweight:
            return "dwt";
        case qelscale::kUnitNewton:
            return "N";
        default:
            return "";
    }
}

}  // namespace

QString UnitName(int code) {
    return QString::fromLatin1(unitSymbol(code));
}

double roundFloatToDecimals(float value, int decimals) {
    // A float has 24 significant bits and 10^8 needs 27: up to eight places
    // the scaled value is exact in a double, so rounding it and dividing by
    // the exact power of ten gives the same double as formatting and reading
    // back the rounded text, without the texts.
    static constexpr double kPowers[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    const int places = decimals > 0 ? decimals : 0;
    if (places < static_cast<int>(std::size(kPowers))) {
        const double scaled = static_cast<double>(value) * kPowers[places];
        if (std::abs(scaled) < 9.0e15) {
            return std::round(scaled) / kPowers[places];
        }
    }
    return roundToDecimals(static_cast<double>(value), decimals);
}

double roundToDecimals(double value, int decimals) {
    // Beyond this a float has no digits left to round.
    constexpr int kMaxDecimals = 20;
    const int places = std::clamp(decimals, 0, kMaxDecimals);
    // Formatting rounds the exact binary value, halves away from zero.
    return QByteArray::number(value, 'f', places).toDouble();
}

RecordConverter::RecordConverter(const RecordLayout& layout, const LanguageTexts& texts,
                                 const DisplayFormats& formats)
    : currentYear_(QDate::currentDate().year()),
      yes_(texts.text(u"Y")),
      no_(texts.text(u"N")),
      formats_(formats) {
    for (const FieldDefinition& field : layout.fields()) {
        types_.push_back(field.type);
    }
    const QString& timeFormat = formats_.longTimeFormat();
    timeSeparator_ = u':';
    for (QChar c : timeFormat) {
        if (!c.isLetter() && !c.isSpace() && c != u'\'') {
            timeSeparator_ = c;
            break;
        }
    }
}

void RecordConverter::append(const AlibiRecord& record, RecordBatch& batch) const {
    if (types_.size() < static_cast<size_t>(RecordLayout::kRecordFieldCount)) {
        throw RecordTableError("The record table has fewer than ten fields");
    }
    TextArena& texts = batch.texts;
    RecordRow row;
    if (types_[0] == FieldType::Integer64) {
        setInteger(row, 0, record.recordId);
    } else {
        storeConverted(row, 0, QString::number(record.recordId), texts);
    }
    storeDateTime(row, record, texts);
    char number[16];
    *std::to_chars(number, number + sizeof number - 1, record.number).ptr = '\0';
    storeText(row, 2, number, texts);
    storeText(row, 3, record.userId, texts);
    storeText(row, 4, record.productId, texts);
    storeMass(row, 5, record.net, record.decimals, texts);
    storeMass(row, 6, record.gross, record.decimals, texts);
    storeMass(row, 7, record.tare, record.decimals, texts);
    storeText(row, 8, unitSymbol(record.unit), texts);
    const QString& stability = record.stable ? yes_ : no_;
    if (types_[9] == FieldType::Text) {
        row.values[9] = texts.add(stability, RecordLayout::kTextSize);
    } else {
        storeConverted(row, 9, stability, texts);
    }
    batch.rows.push_back(row);
}

void RecordConverter::storeText(RecordRow& row, int position, const char* bytes,
                                TextArena& texts) const {
    const qsizetype length = bytes == nullptr ? 0 : static_cast<qsizetype>(std::strlen(bytes));
    if (types_[position] == FieldType::Text && isAscii(bytes, length)) {
        row.values[position] = texts.addAscii(bytes, length, RecordLayout::kTextSize);
        return;
    }
    storeConverted(row, position, fromLibraryText(QByteArrayView(bytes, length)), texts);
}

// A value whose natural type differs from its field's goes through its text,
// as a field set from text does: a text field takes it cut to size, other
// fields read it or refuse it.
void RecordConverter::storeConverted(RecordRow& row, int position, const QString& text,
                                     TextArena& texts) const {
    const FieldType type = types_[position];
    if (type == FieldType::Text) {
        row.values[position] = texts.add(text, RecordLayout::kTextSize);
        return;
    }
    if (text.isEmpty()) {
        row.setNull(position);
        return;
    }
    auto refuse = [&] {
        throw RecordTableError("'" + text.toStdString() + "' is not a valid value for field " +
                               std::to_string(position + 1));
    };
    switch (type) {
        case FieldType::Integer64: {
            bool ok = false;
            const qint64 value = text.trimmed().toLongLong(&ok);
            if (!ok) {
                refuse();
            }
            setInteger(row, position, value);
            return;
        }
        case FieldType::Real: {
            const auto value = formats_.parseNumber(text);
            if (!value) {
                refuse();
            }
            setReal(row, position, *value);
            return;
        }
        case FieldType::DateTime: {
            const auto value = formats_.parseDateTime(text);
            if (!value) {
                refuse();
            }
            setInteger(row, position, encodeDateTime(value->first, value->second));
            return;
        }
        case FieldType::Text:
            return;
    }
}

void RecordConverter::storeDateTime(RecordRow& row, const AlibiRecord& record,
                                    TextArena& texts) const {
    const QDate date = parseRecordDate(
        record.date == nullptr ? QByteArrayView() : QByteArrayView(record.date), currentYear_);
    const QByteArrayView timeBytes =
        record.time == nullptr ? QByteArrayView() : QByteArrayView(record.time);
    if (types_[1] != FieldType::DateTime) {
        storeConverted(
            row, 1, formats_.date(date) + QLatin1String("  ") + fromLibraryText(timeBytes), texts);
        return;
    }
    // A time is a few ASCII characters: widened on the stack, not in a string.
    QVarLengthArray<char16_t, 32> wide;
    bool ascii = true;
    for (char c : timeBytes) {
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
        wide.append(static_cast<char16_t>(static_cast<unsigned char>(c)));
    }
    const auto time = ascii ? parseTimeOfDay(QStringView(wide.data(), wide.size()), timeSeparator_)
                            : parseTimeOfDay(fromLibraryText(timeBytes), timeSeparator_);
    if (!time) {
        throw RecordTableError("'" + fromLibraryText(timeBytes).toStdString() +
                               "' is not a valid time");
    }
    setInteger(row, 1, encodeDateTime(date, *time));
}

void RecordConverter::storeMass(RecordRow& row, int position, float mass, int decimals,
                                TextArena& texts) const {
    if (!std::isfinite(mass)) {
        // Not a mass at all: kept as an empty value rather than ending the read.
        row.setNull(position);
        return;
    }
    const double rounded = roundFloatToDecimals(mass, decimals);
    if (types_[position] == FieldType::Real) {
        setReal(row, position, rounded);
        return;
    }
    storeConverted(row, position, formats_.fixed(rounded, decimals), texts);
}
