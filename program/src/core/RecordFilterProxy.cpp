#include "RecordFilterProxy.h"

#include <numeric>

#include "RecordPredicate.h"
#include "RecordTableModel.h"

RecordFilterProxy::RecordFilterProxy(RecordTableModel* table, QObject* parent)
    : QAbstractProxyModel(parent), table_(table), sortOrderOfTable_(*table) {
    passTimer_.setSingleShot(true);
    passTimer_.setInterval(kFrameMs);
    connect(&passTimer_, &QTimer::timeout, this, &RecordFilterProxy::runPass);
    QAbstractProxyModel::setSourceModel(table);
    // The table changes by resets; any other structural change is taken as one.
    connect(table, &QAbstractItemModel::modelAboutToBeReset, this,
            &RecordFilterProxy::beginTableChange);
    connect(table, &QAbstractItemModel::modelReset, this, &RecordFilterProxy::endTableChange);
    auto begin = [this] { beginTableChange(); };
    auto end = [this] { endTableChange(); };
    connect(table, &QAbstractItemModel::rowsAboutToBeInserted, this, begin);
    connect(table, &QAbstractItemModel::rowsInserted, this, end);
    connect(table, &QAbstractItemModel::rowsAboutToBeRemoved, this, begin);
    connect(table, &QAbstractItemModel::rowsRemoved, this, end);
    connect(table, &QAbstractItemModel::rowsAboutToBeMoved, this, begin);
    connect(table, &QAbstractItemModel::rowsMoved, this, end);
    connect(table, &QAbstractItemModel::columnsAboutToBeInserted, this, begin);
    connect(table, &QAbstractItemModel::columnsInserted, this, end);
    connect(table, &QAbstractItemModel::columnsAboutToBeRemoved, this, begin);
    connect(table, &QAbstractItemModel::columnsRemoved, this, end);
    connect(table, &QAbstractItemModel::columnsAboutToBeMoved, this, begin);
    connect(table, &QAbstractItemModel::columnsMoved, this, end);
    connect(table, &QAbstractItemModel::layoutAboutToBeChanged, this, begin);
    connect(table, &QAbstractItemModel::layoutChanged, this, end);
    connect(table, &QAbstractItemModel::dataChanged, this, &RecordFilterProxy::forwardDataChanged);
    connect(table, &QAbstractItemModel::headerDataChanged, this,
            [this](Qt::Orientation orientation, int first, int last) {
                if (orientation == Qt::Horizontal) {
                    emit headerDataChanged(orientation, first, last);
                } else if (!shown_.empty()) {
                    emit headerDataChanged(orientation, 0, rowCount() - 1);
                }
            });
    rebuild();
}

void RecordFilterProxy::setCriteria(const FilterCriteria& criteria) {
    if (criteria == criteria_) {
        return;
    }
    criteria_ = criteria;
    requestPass();
}

void RecordFilterProxy::sort(int column, Qt::SortOrder order) {
    sortColumn_ = std::max(column, -1);
    sortOrder_ = order;
    requestPass();
}

void RecordFilterProxy::applyPendingChanges() {
    if (passTimer_.isActive()) {
        runPass();
    }
}

void RecordFilterProxy::requestPass() {
    if (tableChanging_) {
        return;  // the table's own change ends with a pass
    }
    if (table_->rowCount() >= deferredPassRows_) {
        if (!passTimer_.isActive()) {
            passTimer_.start();
        }
        return;
    }
    runPass();
}

void RecordFilterProxy::runPass() {
    passTimer_.stop();
    const bool sameRows =
        criteria_ == shownCriteria_ && table_->dataGeneration() == shownGeneration_;
    if (sameRows && shownOrderIsAsked()) {
        emit passApplied();
        return;
    }
    if (sameRows) {
        applyOrderOnly();
    } else {
        beginResetModel();
        rebuild();
        endResetModel();
    }
    emit passApplied();
}

int RecordFilterProxy::effectiveSortColumn() const {
    return sortColumn_ < table_->columnCount() ? sortColumn_ : -1;
}

bool RecordFilterProxy::shownOrderIsAsked() const {
    const int column = effectiveSortColumn();
    return column == shownSortColumn_ && (column < 0 || sortOrder_ == shownSortOrder_);
}

void RecordFilterProxy::rebuild() {
    shown_ = computeShownRows();
    positionsValid_ = false;
    shownCriteria_ = criteria_;
    shownSortColumn_ = effectiveSortColumn();
    shownSortOrder_ = sortOrder_;
    shownGeneration_ = table_->dataGeneration();
}

std::vector<int> RecordFilterProxy::computeShownRows() {
    const RecordPredicate predicate(criteria_, *table_);
    if (predicate.passesNoRow()) {
        return {};
    }
    // Typing on in a text condition only narrows what is shown already.
    if (table_->dataGeneration() == shownGeneration_ && shownOrderIsAsked() &&
        criteria_.narrows(shownCriteria_)) {
        std::vector<int> rows;
        std::copy_if(shown_.begin(), shown_.end(), std::back_inserter(rows),
                     [&](int row) { return predicate.accepts(row); });
        return rows;
    }
    const int count = table_->rowCount();
    const int column = effectiveSortColumn();
    if (column < 0) {
        std::vector<int> rows;
        if (predicate.passesEveryRow()) {
            rows.resize(static_cast<size_t>(count));
            std::iota(rows.begin(), rows.end(), 0);
            return rows;
        }
        for (int row = 0; row < count; ++row) {
            if (predicate.accepts(row)) {
                rows.push_back(row);
            }
        }
        return rows;
    }
    const std::vector<int>& ordered = sortOrderOfTable_.rows(column, sortOrder_);
    if (predicate.passesEveryRow()) {
        return ordered;
    }
    // The rows are tested in the table's order, which reads memory in sequence.
    std::vector<char> passes(static_cast<size_t>(count));
    for (int row = 0; row < count; ++row) {
        passes[static_cast<size_t>(row)] = predicate.accepts(row);
    }
    std::vector<int> rows;
    std::copy_if(ordered.begin(), ordered.end(), std::back_inserter(rows),
                 [&](int row) { return passes[static_cast<size_t>(row)] != 0; });
    return rows;
}

// The same rows in another order: the view keeps its current row and
// selection, which follow their records.
void RecordFilterProxy::applyOrderOnly() {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> tableRows;
    tableRows.reserve(static_cast<size_t>(before.size()));
    for (const QModelIndex& index : before) {
        tableRows.push_back(shown_[static_cast<size_t>(index.row())]);
    }
    rebuild();
    QModelIndexList after;
    after.reserve(before.size());
    if (!before.isEmpty()) {
        const std::vector<int>& positions = positionsOfTableRows();
        for (qsizetype i = 0; i < before.size(); ++i) {
            after.append(index(positions[static_cast<size_t>(tableRows[i])], before[i].column()));
        }
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void RecordFilterProxy::beginTableChange() {
    tableChanging_ = true;
    beginResetModel();
}

void RecordFilterProxy::endTableChange() {
    tableChanging_ = false;
    passTimer_.stop();
    rebuild();
    endResetModel();
    emit passApplied();
}

void RecordFilterProxy::forwardDataChanged(const QModelIndex& topLeft,
                                           const QModelIndex& bottomRight,
                                           const QList<int>& roles) {
    if (shown_.empty() || !topLeft.isValid() || !bottomRight.isValid()) {
        return;
    }
    emit dataChanged(index(0, topLeft.column()), index(rowCount() - 1, bottomRight.column()),
                     roles);
}

const std::vector<int>& RecordFilterProxy::positionsOfTableRows() const {
    if (!positionsValid_) {
        positions_.assign(static_cast<size_t>(table_->rowCount()), -1);
        for (size_t position = 0; position < shown_.size(); ++position) {
            positions_[static_cast<size_t>(shown_[position])] = static_cast<int>(position);
        }
        positionsValid_ = true;
    }
    return positions_;
}

QModelIndex RecordFilterProxy::mapToSource(const QModelIndex& proxyIndex) const {
    if (!proxyIndex.isValid() || proxyIndex.model() != this || tableChanging_ ||
        proxyIndex.row() >= rowCount()) {
        return {};
    }
    return table_->index(shown_[static_cast<size_t>(proxyIndex.row())], proxyIndex.column());
}

QModelIndex RecordFilterProxy::mapFromSource(const QModelIndex& sourceIndex) const {
    if (!sourceIndex.isValid() || sourceIndex.model() != table_ || tableChanging_) {
        return {};
    }
    const std::vector<int>& positions = positionsOfTableRows();
    const auto row = static_cast<size_t>(sourceIndex.row());
    return row < positions.size() ? index(positions[row], sourceIndex.column()) : QModelIndex();
}

QModelIndex RecordFilterProxy::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) {
        return {};
    }
    return createIndex(row, column);
}

QModelIndex RecordFilterProxy::parent(const QModelIndex&) const {
    return {};
}

QModelIndex RecordFilterProxy::sibling(int row, int column, const QModelIndex&) const {
    return index(row, column);
}

int RecordFilterProxy::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int RecordFilterProxy::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : table_->columnCount();
}

bool RecordFilterProxy::hasChildren(const QModelIndex& parent) const {
    return !parent.isValid() && rowCount() > 0 && columnCount() > 0;
}

QVariant RecordFilterProxy::data(const QModelIndex& index, int role) const {
    return table_->data(mapToSource(index), role);
}

// Titles come from the table whether or not any row is shown; a row's
// indicator is that of its table row.
QVariant RecordFilterProxy::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal) {
        return table_->headerData(section, orientation, role);
    }
    if (section < 0 || section >= rowCount()) {
        return {};
    }
    return table_->headerData(shown_[static_cast<size_t>(section)], orientation, role);
}
