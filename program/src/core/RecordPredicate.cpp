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
    return acceptsDateTime(row) && acceptsText(row, product_, criteria_.product) &&
           acceptsText(row, user_, criteria_.user) && acceptsMass(row) && acceptsRecordId(row);
}

bool RecordPredicate::acceptsDateTime(int row) const {
    if (dateTime_ < 0) {
        return true;
    }
    if (table_.isNull(row, dateTime_)) {
        return false;
    }
    const qint64 value = table_.integerAt(row, dateTime_);
    return !(criteria_.dateTimeFrom && value < *criteria_.dateTimeFrom) &&
           !(criteria_.dateTimeTo && value > *criteria_.dateTimeTo);
}

bool RecordPredicate::acceptsText(int row, int column, const QString& text) const {
    if (column < 0) {
        return true;
    }
    return !table_.isNull(row, column) && table_.textAt(row, column).contains(text);
}

bool RecordPredicate::acceptsMass(int row) const {
    if (mass_ < 0) {
        return true;
    }
    if (table_.isNull(row, mass_)) {
        return false;
    }
    const double value = table_.realAt(row, mass_);
    return !(criteria_.massFrom && !(value >= *criteria_.massFrom)) &&
           !(criteria_.massTo && !(value <= *criteria_.massTo));
}

bool RecordPredicate::acceptsRecordId(int row) const {
    if (recordId_ < 0) {
        return true;
    }
    if (table_.isNull(row, recordId_)) {
        return false;
    }
    const qint64 value = table_.integerAt(row, recordId_);
    return !(criteria_.idFrom && value < *criteria_.idFrom) &&
           !(criteria_.idTo && value > *criteria_.idTo);
}
