#include "RecordSortOrder.h"

#include <QHash>
#include <QStringView>
#include <algorithm>
#include <cstring>
#include <limits>

#include "RecordTableModel.h"

namespace {

// The bits of a double as an integer in the same order (-0 taken as 0; NaN
// sorts beyond the infinities), so that every type sorts as integers.
qint64 orderedKey(double value) {
    if (value == 0) {
        value = 0;
    }
    qint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits >= 0 ? bits : bits ^ std::numeric_limits<qint64>::max();
}

}  // namespace

const std::vector<int>& RecordSortOrder::rows(int column, Qt::SortOrder order) {
    const quint64 generation = table_.dataGeneration();
    if (column == column_ && order == order_ && generation == generation_) {
        return rows_;
    }
    std::vector<int> nullRows;
    std::vector<Keyed> keyed = keysOf(column, nullRows);
    if (order == Qt::AscendingOrder) {
        std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
            return a.key < b.key || (a.key == b.key && a.row < b.row);
        });
    } else {
        std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
            return a.key > b.key || (a.key == b.key && a.row < b.row);
        });
    }
    rows_.clear();
    rows_.reserve(keyed.size() + nullRows.size());
    if (order == Qt::AscendingOrder) {
        rows_.insert(rows_.end(), nullRows.begin(), nullRows.end());
    }
    for (const Keyed& entry : keyed) {
        rows_.push_back(entry.row);
    }
    if (order == Qt::DescendingOrder) {
        rows_.insert(rows_.end(), nullRows.begin(), nullRows.end());
    }
    column_ = column;
    order_ = order;
    generation_ = generation;
    return rows_;
}

std::vector<RecordSortOrder::Keyed> RecordSortOrder::keysOf(int column,
                                                            std::vector<int>& nullRows) const {
    const int rows = table_.rowCount();
    const FieldType type = table_.layout().fields()[column].type;
    std::vector<quint32> ranks;
    if (type == FieldType::Text) {
        ranks = textRanks(column);
    }
    std::vector<Keyed> keyed;
    keyed.reserve(static_cast<size_t>(rows));
    for (int row = 0; row < rows; ++row) {
        if (table_.isNull(row, column)) {
            nullRows.push_back(row);
            continue;
        }
        switch (type) {
            case FieldType::Integer64:
            case FieldType::DateTime:
                keyed.push_back({table_.integerAt(row, column), row});
                break;
            case FieldType::Real:
                keyed.push_back({orderedKey(table_.realAt(row, column)), row});
                break;
            case FieldType::Text:
                keyed.push_back({ranks[static_cast<size_t>(row)], row});
                break;
        }
    }
    return keyed;
}

// Sort keys of a text column: equal texts share a rank, and ranks follow the
// table's text order, so a sort compares numbers, not texts. The texts of a
// scale's memory repeat a lot (a few products, a few users): only the
// distinct ones are compared.
std::vector<quint32> RecordSortOrder::textRanks(int column) const {
    const int rows = table_.rowCount();
    QHash<QStringView, quint32> distinctOf;
    std::vector<int> representatives;
    std::vector<quint32> distinctIndex(static_cast<size_t>(rows), 0);
    for (int row = 0; row < rows; ++row) {
        if (table_.isNull(row, column)) {
            continue;
        }
        const QStringView text = table_.textAt(row, column);
        auto entry = distinctOf.constFind(text);
        if (entry == distinctOf.constEnd()) {
            entry = distinctOf.insert(text, static_cast<quint32>(representatives.size()));
            representatives.push_back(row);
        }
        distinctIndex[static_cast<size_t>(row)] = *entry;
    }
    std::vector<quint32> order(representatives.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = static_cast<quint32>(i);
    }
    std::sort(order.begin(), order.end(), [&](quint32 a, quint32 b) {
        return table_.compare(representatives[a], representatives[b], column) < 0;
    });
    std::vector<quint32> rankOfDistinct(order.size(), 0);
    for (size_t position = 0; position < order.size(); ++position) {
        rankOfDistinct[order[position]] = static_cast<quint32>(position);
    }
    for (quint32& index : distinctIndex) {
        index = rankOfDistinct.empty() ? 0 : rankOfDistinct[index];
    }
    return distinctIndex;
}
