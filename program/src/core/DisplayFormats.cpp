#include "DisplayFormats.h"

#include <charconv>
#include <cmath>

namespace {

// Qt's long time format names the time zone ("HH:mm:ss t"); the table holds
// local times without a zone, so that part is dropped.
QString withoutTimeZone(const QString& format) {
    QString result;
    bool quoted = false;
    for (QChar c : format) {
        if (c == u'\'') {
            quoted = !quoted;
        }
        if (!quoted && c == u't') {
            continue;
        }
        result.append(c);
    }
    return result.trimmed();
}

QLocale withoutGroupSeparators(QLocale locale) {
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

QChar timeSeparatorOf(const QString& format) {
    for (QChar c : format) {
        if (!c.isLetter() && !c.isSpace() && c != u'\'') {
            return c;
        }
    }
    return u':';
}

}  // namespace

DisplayFormats::DisplayFormats(const QLocale& locale)
    : DisplayFormats(locale, locale.dateFormat(QLocale::ShortFormat),
                     withoutTimeZone(locale.timeFormat(QLocale::LongFormat))) {}

DisplayFormats::DisplayFormats(const QLocale& locale, const QString& shortDate,
                               const QString& longTime)
    : locale_(withoutGroupSeparators(locale)),
      shortDate_(shortDate),
      longTime_(longTime),
      decimalPoint_(locale_.decimalPoint()),
      negativeSign_(locale_.negativeSign()) {}

QString DisplayFormats::date(QDate date) const {
    return locale_.toString(date, shortDate_);
}

QString DisplayFormats::time(QTime time) const {
    return locale_.toString(time, longTime_);
}

QString DisplayFormats::dateTime(QDate date, QTime time) const {
    if (time == QTime(0, 0)) {
        return this->date(date);
    }
    return this->date(date) + u' ' + this->time(time);
}

// Up to 15 significant digits, as the general format shows them. The
// shortest text that reads back as the value is that text whenever it has 15
// digits or fewer (the usual case: masses rounded to their decimals), and it
// is much cheaper to find; anything else goes through the locale.
QString DisplayFormats::number(double value) const {
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    int digits = 0;
    bool plain = error == std::errc();
    for (const char* c = text; plain && c != end; ++c) {
        if (*c >= '0' && *c <= '9') {
            ++digits;
        } else if (*c != '.' && *c != '-') {
            plain = false;  // exponent, inf, nan
        }
    }
    if (!plain || digits > 15) {
        return locale_.toString(value, 'g', 15);
    }
    // Leading zeros count too: that only sends a few more values the slow way.
    QString result;
    result.reserve(static_cast<qsizetype>(end - text) + 2);
    for (const char* c = text; c != end; ++c) {
        if (*c == '.') {
            result += decimalPoint_;
        } else if (*c == '-') {
            result += negativeSign_;
        } else {
            result += QLatin1Char(*c);
        }
    }
    return result;
}

QString DisplayFormats::fixed(double value, int decimals) const {
    return locale_.toString(value, 'f', decimals > 0 ? decimals : 0);
}

std::optional<double> DisplayFormats::parseNumber(const QString& text) const {
    bool ok = false;
    const double value = locale_.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::pair<QDate, QTime>> DisplayFormats::parseDateTime(const QString& text) const {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        return std::nullopt;
    }
    // The date is the first blank-separated piece; whatever follows is the time.
    const qsizetype blank = trimmed.indexOf(u' ');
    const QString datePart = blank < 0 ? trimmed : trimmed.left(blank);
    const QDate date = locale_.toDate(datePart, shortDate_);
    if (!date.isValid()) {
        return std::nullopt;
    }
    const auto time = parseTimeOfDay(blank < 0 ? QStringView() : QStringView(trimmed).mid(blank),
                                     timeSeparatorOf(longTime_));
    if (!time) {
        return std::nullopt;
    }
    return std::make_pair(date, *time);
}

namespace {

// Reads up to `maxDigits` digits at `i`; nothing when there is no digit.
std::optional<int> readDigits(QStringView text, qsizetype& i, int maxDigits,
                              int* digits = nullptr) {
    const qsizetype start = i;
    int value = 0;
    while (i < text.size() && text[i].isDigit() && i - start < maxDigits) {
        value = value * 10 + text[i].digitValue();
        ++i;
    }
    if (i == start) {
        return std::nullopt;
    }
    if (digits != nullptr) {
        *digits = static_cast<int>(i - start);
    }
    return value;
}

}  // namespace

std::optional<QTime> parseTimeOfDay(QStringView text, QChar localeSeparator) {
    text = text.trimmed();
    if (text.isEmpty()) {
        return QTime(0, 0);
    }
    int pm = -1;  // -1 no suffix, 0 AM, 1 PM
    if (text.endsWith(u"AM", Qt::CaseInsensitive) || text.endsWith(u"PM", Qt::CaseInsensitive)) {
        pm = text.endsWith(u"PM", Qt::CaseInsensitive) ? 1 : 0;
        text = text.chopped(2).trimmed();
    }
    auto isSeparator = [&](QChar c) { return c == u':' || c == localeSeparator; };
    int fields[3] = {0, 0, 0};
    int milliseconds = 0;
    int count = 0;
    qsizetype i = 0;
    for (;;) {
        const auto value = readDigits(text, i, 2);
        if (!value) {
            return std::nullopt;
        }
        fields[count++] = *value;
        if (i == text.size()) {
            break;
        }
        if (count == 3 && text[i] == u'.') {
            ++i;
            int digits = 0;
            const auto fraction = readDigits(text, i, 3, &digits);
            if (!fraction) {
                return std::nullopt;
            }
            milliseconds = *fraction * (digits == 1 ? 100 : digits == 2 ? 10 : 1);
            break;
        }
        if (count == 3 || !isSeparator(text[i])) {
            return std::nullopt;
        }
        ++i;
    }
    if (i != text.size() || count < 2) {
        return std::nullopt;
    }
    int hour = fields[0];
    if (pm >= 0) {
        if (hour < 1 || hour > 12) {
            return std::nullopt;
        }
        hour = hour % 12 + (pm == 1 ? 12 : 0);
    }
    const QTime time(hour, fields[1], fields[2], milliseconds);
    if (!time.isValid()) {
        return std::nullopt;
    }
    return time;
}
