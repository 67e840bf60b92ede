#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>
#include <optional>

// The user's locale as the record table shows and reads values: short date,
// long time (without a time-zone name), decimal separator, no thousands
// separator.
class DisplayFormats {
public:
    explicit DisplayFormats(const QLocale& locale = QLocale());
    // Explicit formats, for a locale whose settings differ from Qt's data.
    DisplayFormats(const QLocale& locale, const QString& shortDate, const QString& longTime);

    const QLocale& locale() const { return locale_; }
    const QString& shortDateFormat() const { return shortDate_; }
    const QString& longTimeFormat() const { return longTime_; }
    const QString& decimalPoint() const { return decimalPoint_; }

    QString date(QDate date) const;
    QString time(QTime time) const;
    // Short date, a blank and the long time; the time is left out at midnight.
    QString dateTime(QDate date, QTime time) const;
    // General format, up to 15 significant digits, locale separator: 1,5.
    QString number(double value) const;
    // Fixed format with exactly `decimals` places (none when 0 or less).
    QString fixed(double value, int decimals) const;

    // A number as the locale writes it (no thousands separators); nothing for
    // text that is not a finite number.
    std::optional<double> parseNumber(const QString& text) const;
    // A date in the short date format, optionally followed by a time.
    std::optional<std::pair<QDate, QTime>> parseDateTime(const QString& text) const;

private:
    QLocale locale_;
    QString shortDate_;
    QString longTime_;
    QString decimalPoint_;
    QString negativeSign_;
};

// A time of day as a record carries it: H:M, H:M:S or H:M:S.zzz with ":" or
// the locale's time separator, optionally AM/PM; blanks around are ignored
// and an empty text is midnight.
std::optional<QTime> parseTimeOfDay(QStringView text, QChar localeSeparator = u':');
