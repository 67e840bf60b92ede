#pragma once

#include <QDate>
#include <QString>
#include <QTime>
#include <optional>

#include "DisplayFormats.h"
#include "LanguageTexts.h"

// The state of the thirteen filter controls.
struct FilterInputs {
    bool dateFromChecked = false;
    QDate dateFrom;
    QTime timeFrom;
    bool dateToChecked = false;
    QDate dateTo;
    QTime timeTo;
    QString product;
    QString user;
    int massItem = 0;  // 0 net, 1 gross, 2 tare
    QString massFrom;
    QString massTo;
    QString idFrom;
    QString idTo;
};

// What a row must satisfy: every present bound, inclusive; product and user
// as case-sensitive plain text contained in the field. Fields are named as
// the table names them.
struct FilterCriteria {
    QString dateTimeField;
    std::optional<qint64> dateTimeFrom;  // encodeDateTime values
    std::optional<qint64> dateTimeTo;
    QString productField;
    QString product;  // empty: no condition
    QString userField;
    QString user;
    QString massField;  // empty: no mass bounds
    std::optional<double> massFrom;
    std::optional<double> massTo;
    std::optional<qint64> idFrom;
    std::optional<qint64> idTo;

    bool isEmpty() const;
    // Every row that passes these criteria passes `wider` too: the same
    // conditions, with product and user texts that contain the wider ones.
    bool narrows(const FilterCriteria& wider) const;
    bool operator==(const FilterCriteria& other) const = default;
};

struct RecordFilter {
    FilterCriteria criteria;
    // The same conditions as a readable filter expression.
    QString expression;
    // Mass bounds that were given but are not numbers of 0 or more (0 to 2);
    // each is reported to the operator.
    int invalidMassBounds = 0;
};

// Appends " and " and the clause when the condition holds.
QString AppendClause(const QString& expression, bool condition, const QString& clause);

// Builds the eight clauses in their fixed order: date-time from, to, product,
// user, mass from, to, record number from, to.
RecordFilter buildRecordFilter(const FilterInputs& inputs, const LanguageTexts& texts,
                               const DisplayFormats& formats);
