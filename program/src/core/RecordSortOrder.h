#pragma once

#include <QtCore/qnamespace.h>
#include <QtGlobal>
#include <vector>

class RecordTableModel;

// The table's rows ordered by one column, kept until the rows or the order
// change. Null values come first in ascending order and last in descending
// order; rows with equal values keep their arrival order in both, so the
// order of the shown rows never depends on earlier sorts or filters.
class RecordSortOrder {
public:
    explicit RecordSortOrder(const RecordTableModel& table) : table_(table) {}

    // The column must be one of the table's.
    const std::vector<int>& rows(int column, Qt::SortOrder order);

private:
    struct Keyed {
        qint64 key;
        int row;
    };
    // Keys whose numeric order is the column's order, for the non-null rows.
    std::vector<Keyed> keysOf(int column, std::vector<int>& nullRows) const;
    std::vector<quint32> textRanks(int column) const;

    const RecordTableModel& table_;
    std::vector<int> rows_;
    int column_ = -1;
    Qt::SortOrder order_ = Qt::AscendingOrder;
    quint64 generation_ = ~0ull;
};
