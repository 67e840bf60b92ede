#pragma once

#include <QSortFilterProxyModel>
#include <vector>

#include "RecordFilter.h"

class RecordTableModel;

// The rows the grid shows: those that pass the filter, in the order of the
// column the operator sorted by (arrival order when unsorted). Reads the
// typed rows directly rather than their display texts.
class RecordFilterProxy : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit RecordFilterProxy(RecordTableModel* table, QObject* parent = nullptr);

    void setCriteria(const FilterCriteria& criteria);
    const FilterCriteria& criteria() const { return criteria_; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    struct Columns {
        int dateTime = -1;
        int product = -1;
        int user = -1;
        int mass = -1;
        int recordId = -1;
        bool missingField = false;  // a condition names a field the table lacks
    };
    const Columns& columns() const;
    // Sort keys of a text column: equal texts share a rank, and ranks follow
    // the table's text order, so a sort compares numbers, not texts.
    const std::vector<quint32>& textRanks(int column) const;

    RecordTableModel* table_;
    FilterCriteria criteria_;
    mutable Columns columns_;
    mutable quint64 columnsGeneration_ = ~0ull;
    mutable std::vector<quint32> ranks_;
    mutable int ranksColumn_ = -1;
    mutable quint64 ranksGeneration_ = ~0ull;
};
