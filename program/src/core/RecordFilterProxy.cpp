#include "RecordFilterProxy.h"

#include "RecordTableModel.h"

#include <QHash>
#include <algorithm>

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

RecordFilterProxy::RecordFilterProxy(RecordTableModel* table, QObject* parent)
    : QSortFilterProxyModel(parent), table_(table) {
    setSourceModel(table);
}

void RecordFilterProxy::setCriteria(const FilterCriteria& criteria) {
    criteria_ = criteria;
    columnsGeneration_ = ~0ull;
    invalidateFilter();
}

// Field positions are looked up once per table definition, by name, as the
// filter expression names them.
const RecordFilterProxy::Columns& RecordFilterProxy::columns() const {
    if (columnsGeneration_ == table_->layoutGeneration()) {
        return columns_;
    }
    const RecordLayout& layout = table_->layout();
    Columns columns;
    bool& missing = columns.missingField;
    if (criteria_.dateTimeFrom || criteria_.dateTimeTo) {
        columns.dateTime =
            columnOfType(layout, criteria_.dateTimeField, FieldType::DateTime, missing);
    }
    if (!criteria_.product.isEmpty()) {
        columns.product = columnOfType(layout, criteria_.productField, FieldType::Text, missing);
    }
    if (!criteria_.user.isEmpty()) {
        columns.user = columnOfType(layout, criteria_.userField, FieldType::Text, missing);
    }
    if (criteria_.massFrom || criteria_.massTo) {
        columns.mass = columnOfType(layout, criteria_.massField, FieldType::Real, missing);
    }
    if (criteria_.idFrom || criteria_.idTo) {
        columns.recordId =
            columnOfType(layout, QStringLiteral("RecID"), FieldType::Integer64, missing);
    }
    columns_ = columns;
    columnsGeneration_ = table_->layoutGeneration();
    return columns_;
}

bool RecordFilterProxy::filterAcceptsRow(int row, const QModelIndex& sourceParent) const {
    if (sourceParent.isValid() || criteria_.isEmpty()) {
        return !sourceParent.isValid();
    }
    const Columns& c = columns();
    if (c.missingField) {
        return false;
    }
    const RecordTableModel& t = *table_;
    // A null value fails every comparison, as in an expression.
    if (c.dateTime >= 0) {
        if (t.isNull(row, c.dateTime)) {
            return false;
        }
        const qint64 value = t.integerAt(row, c.dateTime);
        if ((criteria_.dateTimeFrom && value < *criteria_.dateTimeFrom) ||
            (criteria_.dateTimeTo && value > *criteria_.dateTimeTo)) {
            return false;
        }
    }
    if (c.product >= 0 &&
        (t.isNull(row, c.product) || !t.textAt(row, c.product).contains(criteria_.product))) {
        return false;
    }
    if (c.user >= 0 && (t.isNull(row, c.user) || !t.textAt(row, c.user).contains(criteria_.user))) {
        return false;
    }
    if (c.mass >= 0) {
        if (t.isNull(row, c.mass)) {
            return false;
        }
        const double value = t.realAt(row, c.mass);
        if ((criteria_.massFrom && !(value >= *criteria_.massFrom)) ||
            (criteria_.massTo && !(value <= *criteria_.massTo))) {
            return false;
        }
    }
    if (c.recordId >= 0) {
        if (t.isNull(row, c.recordId)) {
            return false;
        }
        const qint64 value = t.integerAt(row, c.recordId);
        if ((criteria_.idFrom && value < *criteria_.idFrom) ||
            (criteria_.idTo && value > *criteria_.idTo)) {
            return false;
        }
    }
    return true;
}

bool RecordFilterProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const int column = left.column();
    if (table_->layout().fields()[column].type == FieldType::Text) {
        const std::vector<quint32>& ranks = textRanks(column);
        return ranks[left.row()] < ranks[right.row()];
    }
    return table_->compare(left.row(), right.row(), column) < 0;
}

const std::vector<quint32>& RecordFilterProxy::textRanks(int column) const {
    if (ranksColumn_ == column && ranksGeneration_ == table_->dataGeneration()) {
        return ranks_;
    }
    const RecordTableModel& t = *table_;
    const int rows = t.rowCount();
    // One representative row per distinct text; null cells rank first (0).
    QHash<QStringView, quint32> distinctOf;
    std::vector<int> representatives;
    std::vector<quint32> distinctIndex(static_cast<size_t>(rows), 0);
    for (int row = 0; row < rows; ++row) {
        if (t.isNull(row, column)) {
            continue;
        }
        const QStringView text = t.textAt(row, column);
        auto entry = distinctOf.constFind(text);
        if (entry == distinctOf.constEnd()) {
            entry = distinctOf.insert(text, static_cast<quint32>(representatives.size()));
            representatives.push_back(row);
        }
        distinctIndex[static_cast<size_t>(row)] = *entry + 1;
    }
    std::vector<quint32> order(representatives.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = static_cast<quint32>(i);
    }
    std::sort(order.begin(), order.end(), [&](quint32 a, quint32 b) {
        return t.compare(representatives[a], representatives[b], column) < 0;
    });
    std::vector<quint32> rankOfDistinct(order.size() + 1, 0);
    for (size_t position = 0; position < order.size(); ++position) {
        rankOfDistinct[order[position] + 1] = static_cast<quint32>(position + 1);
    }
    ranks_.resize(static_cast<size_t>(rows));
    for (size_t row = 0; row < ranks_.size(); ++row) {
        ranks_[row] = rankOfDistinct[distinctIndex[row]];
    }
    ranksColumn_ = column;
    ranksGeneration_ = t.dataGeneration();
    return ranks_;
}
