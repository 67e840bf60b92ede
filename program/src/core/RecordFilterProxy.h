#pragma once

#include <QAbstractProxyModel>
#include <QTimer>
#include <vector>

#include "RecordFilter.h"
#include "RecordSortOrder.h"

class RecordTableModel;

// The rows the grid shows: those that pass the filter, in the order of the
// column the operator sorted by (arrival order when unsorted), held as one
// vector of table rows.
//
// A change of the filter tells the view once, by a reset, and a change of the
// order by one layout change; a view is never told row by row, since a header
// walks its sections for every removal and a scale's memory holds millions of
// records. On a large table the changes that arrive within one frame (the
// keys of fast typing, a sort click next to them) are gathered into one pass,
// which applies the latest filter and order together.
class RecordFilterProxy : public QAbstractProxyModel {
    Q_OBJECT

public:
    // From this many table rows on, a pass is noticeable and waits a frame.
    static constexpr int kDeferredPassRows = 200'000;
    static constexpr int kFrameMs = 16;

    explicit RecordFilterProxy(RecordTableModel* table, QObject* parent = nullptr);

    // The latest filter and order asked for; the shown rows follow them at
    // once on a small table, or within a frame on a large one.
    void setCriteria(const FilterCriteria& criteria);
    const FilterCriteria& criteria() const { return criteria_; }
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return sortColumn_; }
    Qt::SortOrder sortOrder() const { return sortOrder_; }

    // Tables of at least `rows` rows gather changes into passes at the next
    // frame (0: every table; INT_MAX: none).
    void setDeferredPassRows(int rows) { deferredPassRows_ = rows; }
    // A change waits for its pass.
    bool isPassPending() const { return passTimer_.isActive(); }
    // Runs a waiting pass now.
    void applyPendingChanges();

    // Table rows in the order shown.
    const std::vector<int>& shownTableRows() const { return shown_; }

    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;
    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    // The shown rows reflect every change asked for so far.
    void passApplied();

private:
    void requestPass();
    void runPass();
    // The sort column, or -1 when the table lacks it (after a new definition).
    int effectiveSortColumn() const;
    bool shownOrderIsAsked() const;
    void rebuild();
    std::vector<int> computeShownRows();
    void applyOrderOnly();
    void beginTableChange();
    void endTableChange();
    void forwardDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                            const QList<int>& roles);
    const std::vector<int>& positionsOfTableRows() const;

    RecordTableModel* table_;
    // Asked for.
    FilterCriteria criteria_;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    // What shown_ was made from.
    FilterCriteria shownCriteria_;
    int shownSortColumn_ = -1;
    Qt::SortOrder shownSortOrder_ = Qt::AscendingOrder;
    quint64 shownGeneration_ = ~0ull;

    std::vector<int> shown_;
    mutable std::vector<int> positions_;  // table row -> shown row, or -1
    mutable bool positionsValid_ = false;
    RecordSortOrder sortOrderOfTable_;
    QTimer passTimer_;
    int deferredPassRows_ = kDeferredPassRows;
    bool tableChanging_ = false;
};
