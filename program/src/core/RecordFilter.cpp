#include "RecordFilter.h"

#include "RecordConversion.h"
#include "RecordRows.h"

namespace {

constexpr const char* kMassKeys[] = {"net", "gross", "tare"};

struct MassBound {
    bool given = false;
    std::optional<double> value;  // rounded to the two places the clause shows
    QString text;
};

MassBound readMassBound(const QString& text, const DisplayFormats& formats) {
    MassBound bound;
    if (text.isEmpty()) {
        return bound;
    }
    bound.given = true;
    const std::optional<double> value = formats.parseNumber(text);
    if (!value || *value < 0) {
        return bound;
    }
    bound.value = roundToDecimals(*value, 2);
    // "%f" with two places, then the locale's decimal separator for the point.
    bound.text = QString::fromLatin1(QByteArray::number(*value, 'f', 2));
    const qsizetype point = bound.text.indexOf(u'.');
    if (point >= 0) {
        bound.text.replace(point, 1, formats.decimalPoint());
    }
    return bound;
}

std::optional<qint64> readRecordNumber(const QString& text) {
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    if (!ok || value < 1) {
        return std::nullopt;
    }
    return value;
}

QString dateTimeText(QDate date, QTime time, const DisplayFormats& formats) {
    return formats.date(date) + u' ' + formats.time(time);
}

// The clause compares with the text it shows, so the bound is the moment
// that text names (seconds, in the long time format).
qint64 dateTimeBound(QDate date, QTime time) {
    const QTime wholeSeconds(time.hour(), time.minute(), time.second());
    return encodeDateTime(date, wholeSeconds);
}

}  // namespace

bool FilterCriteria::isEmpty() const {
    return !dateTimeFrom && !dateTimeTo && product.isEmpty() && user.isEmpty() && !massFrom &&
           !massTo && !idFrom && !idTo;
}

bool FilterCriteria::narrows(const FilterCriteria& wider) const {
    FilterCriteria sameTexts = *this;
    sameTexts.product = wider.product;
    sameTexts.user = wider.user;
    return sameTexts == wider && product.contains(wider.product) && user.contains(wider.user);
}

QString AppendClause(const QString& expression, bool condition, const QString& clause) {
    if (!condition) {
        return expression;
    }
    return expression.isEmpty() ? clause : expression + QLatin1String(" and ") + clause;
}

RecordFilter buildRecordFilter(const FilterInputs& inputs, const LanguageTexts& texts,
                               const DisplayFormats& formats) {
    RecordFilter filter;
    FilterCriteria& criteria = filter.criteria;
    QString expression;

    criteria.dateTimeField = texts.text(u"dateTime");
    expression = AppendClause(expression, inputs.dateFromChecked,
                              criteria.dateTimeField + QLatin1String(">='") +
                                  dateTimeText(inputs.dateFrom, inputs.timeFrom, formats) + u'\'');
    if (inputs.dateFromChecked) {
        criteria.dateTimeFrom = dateTimeBound(inputs.dateFrom, inputs.timeFrom);
    }
    expression = AppendClause(expression, inputs.dateToChecked,
                              criteria.dateTimeField + QLatin1String("<='") +
                                  dateTimeText(inputs.dateTo, inputs.timeTo, formats) + u'\'');
    if (inputs.dateToChecked) {
        criteria.dateTimeTo = dateTimeBound(inputs.dateTo, inputs.timeTo);
    }

    criteria.productField = texts.text(u"prodID");
    criteria.product = inputs.product;
    expression = AppendClause(
        expression, !inputs.product.isEmpty(),
        criteria.productField + QLatin1String(" like '%") + inputs.product + QLatin1String("%'"));
    criteria.userField = texts.text(u"userID");
    criteria.user = inputs.user;
    expression = AppendClause(
        expression, !inputs.user.isEmpty(),
        criteria.userField + QLatin1String(" like '%") + inputs.user + QLatin1String("%'"));

    const bool massItemKnown = inputs.massItem >= 0 && inputs.massItem < 3;
    if (massItemKnown) {
        criteria.massField = texts.text(QLatin1String(kMassKeys[inputs.massItem]));
    }
    const MassBound from = readMassBound(inputs.massFrom, formats);
    const MassBound to = readMassBound(inputs.massTo, formats);
    filter.invalidMassBounds = (from.given && !from.value) + (to.given && !to.value);
    if (massItemKnown && from.value) {
        criteria.massFrom = from.value;
    }
    expression = AppendClause(expression, massItemKnown && from.value.has_value(),
                              criteria.massField + QLatin1String(">=") + from.text);
    if (massItemKnown && to.value) {
        criteria.massTo = to.value;
    }
    expression = AppendClause(expression, massItemKnown && to.value.has_value(),
                              criteria.massField + QLatin1String("<=") + to.text);

    criteria.idFrom = readRecordNumber(inputs.idFrom);
    expression =
        AppendClause(expression, criteria.idFrom.has_value(),
                     QLatin1String("RecID>=") + QString::number(criteria.idFrom.value_or(0)));
    criteria.idTo = readRecordNumber(inputs.idTo);
    expression =
        AppendClause(expression, criteria.idTo.has_value(),
                     QLatin1String("RecID<=") + QString::number(criteria.idTo.value_or(0)));

    filter.expression = expression;
    return filter;
}
