#include "RecordPredicate.h"

#include "RecordTableModel.h"

namespace {

// A condition on a field of another type than it needs cannot hold.
int columnOfType(const RecordLayout& layout, const QString& name, FieldType type, bool& missing) {
    const int column = layout.indexOf(name);
    if (column < 0 || layout.fields()[column].type != type) {
        missing = true;
        return -1;
    }
    return column;
}

}  // namespace

RecordPredicate::RecordPredicate(const FilterCriteria& criteria, const RecordTableModel& table)
    : criteria_(criteria), table_(table) {
    const RecordLayout& layout = table.layout();
    if (criteria.dateTimeFrom || criteria.dateTimeTo) {
        dateTime_ =
            columnOfType(layout, criteria.dateTimeField, FieldType::DateTime, missingField_);
    }
    if (!criteria.product.isEmpty()) {
        product_ = columnOfType(layout, criteria.productField, FieldType::Text, missingField_);
    }
    if (!criteria.user.isEmpty()) {
        user_ = columnOfType(layout, criteria.userField, FieldType::Text, missingField_);
    }
    if (criteria.massFrom || criteria.massTo) {
        mass_ = columnOfType(layout, criteria.massField, FieldType::Real, missingField_);
    }
    if (criteria.idFrom || criteria.idTo) {
        recordId_ =
            columnOfType(layout, QStringLiteral("RecID"), FieldType::Integer64, missingField_);
    }
}

// A null value fails every comparison, as in an expression.
bool RecordPredicate::accepts(int row) const {
    if (missingField_) {
        return false;
    }
    return acceptsBounds(row, dateTime_, &RecordTableModel::integerAt, criteria_.dateTimeFrom,
                         criteria_.dateTimeTo) &&
           acceptsText(row, product_, criteria_.product) &&
           acceptsText(row, user_, criteria_.user) &&
           acceptsBounds(row, mass_, &RecordTableModel::realAt, criteria_.massFrom,
                         criteria_.massTo) &&
           acceptsBounds(row, recordId_, &RecordTableModel::integerAt, criteria_.idFrom,
                         criteria_.idTo);
}

// Written so that a mass that is not a number fails both bounds.
template <typename Value>
bool RecordPredicate::acceptsBounds(int row, int column,
                                    Value (RecordTableModel::*read)(int, int) const,
                                    const std::optional<Value>& from,
                                    const std::optional<Value>& to) const {
    if (column < 0) {
        return true;
    }
    if (table_.isNull(row, column)) {
        return false;
    }
    const Value value = (table_.*read)(row, column);
    return !(from && !(value >= *from)) && !(to && !(value <= *to));
}

bool RecordPredicate::acceptsText(int row, int column, const QString& text) const {
    if (column < 0) {
        return true;
    }
    return !table_.isNull(row, column) && table_.textAt(row, column).contains(text);
}
