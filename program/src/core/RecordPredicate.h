#pragma once

#include "RecordFilter.h"

class RecordTableModel;

// The filter's conditions bound to one table: field positions are looked up
// once, by name, as the filter expression names them, and each row is then
// tested on its typed values.
class RecordPredicate {
public:
    RecordPredicate(const FilterCriteria& criteria, const RecordTableModel& table);

    // No condition at all: every row passes.
    bool passesEveryRow() const { return criteria_.isEmpty(); }
    // A condition names a field the table lacks (or has with another type).
    bool passesNoRow() const { return missingField_; }
    // The row must be in range.
    bool accepts(int row) const;

private:
    // Inclusive bounds on a number column (none: every row passes).
    template <typename Value>
    bool acceptsBounds(int row, int column, Value (RecordTableModel::*read)(int, int) const,
                       const std::optional<Value>& from, const std::optional<Value>& to) const;
    bool acceptsText(int row, int column, const QString& text) const;

    const FilterCriteria& criteria_;
    const RecordTableModel& table_;
    int dateTime_ = -1;
    int product_ = -1;
    int user_ = -1;
    int mass_ = -1;
    int recordId_ = -1;
    bool missingField_ = false;
};
