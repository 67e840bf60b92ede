#include "RecordTableModel.h"

#include <charconv>
#include <cstring>

RecordTableModel::RecordTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordTableModel::closeTable() {
    beginResetModel();
    open_ = false;
    layout_ = RecordLayout();
    rows_ = {};
    texts_ = TextArena();
    ++layoutGeneration_;
    ++dataGeneration_;
    endResetModel();
}

void RecordTableModel::defineFields(const RecordLayout& layout) {
    beginResetModel();
    open_ = true;
    layout_ = layout;
    rows_ = {};
    texts_ = TextArena();
    ++layoutGeneration_;
    ++dataGeneration_;
    endResetModel();
}

void RecordTableModel::appendRows(RecordBatch&& batch) {
    if (!open_ || batch.rows.empty()) {
        return;
    }
    beginResetModel();
    if (rows_.empty()) {
        rows_ = std::move(batch.rows);
        texts_ = std::move(batch.texts);
    } else {
        const quint64 offset = texts_.append(batch.texts);
        for (RecordRow& row : batch.rows) {
            for (int i = 0; i < layout_.fieldCount() && i < RecordRow::kValueCount; ++i) {
                if (layout_.fields()[i].type == FieldType::Text && !row.isNull(i)) {
                    row.values[i] = TextArena::moved(row.values[i], offset);
                }
            }
            rows_.push_back(row);
        }
    }
    ++dataGeneration_;
    endResetModel();
}

void RecordTableModel::setDisplayFormats(const DisplayFormats& formats) {
    formats_ = formats;
    forgetFormattedTexts();
    if (!rows_.empty()) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }
}

int RecordTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RecordTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : layout_.fieldCount();
}

bool RecordTableModel::validCell(const QModelIndex& index) const {
    return index.isValid() && index.model() == this && index.row() >= 0 &&
           index.row() < rowCount() && index.column() >= 0 && index.column() < columnCount();
}

QVariant RecordTableModel::data(const QModelIndex& index, int role) const {
    if (!validCell(index)) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return cellText(index.row(), index.column());
        case Qt::TextAlignmentRole: {
            const FieldType type = layout_.fields()[index.column()].type;
            const bool numeric = type == FieldType::Integer64 || type == FieldType::Real;
            return int((numeric ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
        }
        default:
            return {};
    }
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= columnCount()) {
            return {};
        }
        return layout_.fields()[section].name;
    }
    if (section < 0 || section >= rowCount()) {
        return {};
    }
    return section + 1;
}

Qt::ItemFlags RecordTableModel::flags(const QModelIndex& index) const {
    if (!validCell(index)) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

qint64 RecordTableModel::integerAt(int row, int column) const {
    return static_cast<qint64>(rows_[row].values[column]);
}

double RecordTableModel::realAt(int row, int column) const {
    double value;
    std::memcpy(&value, &rows_[row].values[column], sizeof value);
    return value;
}

QStringView RecordTableModel::textAt(int row, int column) const {
    return texts_.view(rows_[row].values[column]);
}

QString RecordTableModel::cellText(int row, int column) const {
    QString text;
    appendCellText(row, column, text);
    return text;
}

void RecordTableModel::appendCellText(int row, int column, QString& out) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount() ||
        isNull(row, column)) {
        return;
    }
    switch (layout_.fields()[column].type) {
        case FieldType::Integer64: {
            char digits[24];
            const auto end = std::to_chars(digits, digits + sizeof digits, integerAt(row, column));
            out += QLatin1StringView(digits, end.ptr - digits);
            return;
        }
        case FieldType::DateTime: {
            const qint64 value = integerAt(row, column);
            out += dayText(decodeDate(value));
            const QTime time = decodeTime(value);
            if (time != QTime(0, 0)) {
                out += u' ';
                out += timeText(time);
            }
            return;
        }
        case FieldType::Real:
            out += formats_.number(realAt(row, column));
            return;
        case FieldType::Text:
            out += textAt(row, column);
            return;
    }
}

namespace {
// Dates beyond any real memory (corrupt records) must not grow it forever.
constexpr qsizetype kMaxFormattedTexts = 200'000;

template <typename Key, typename Format>
const QString& cachedText(QHash<Key, QString>& texts, Key key, Format format) {
    auto text = texts.constFind(key);
    if (text == texts.constEnd()) {
        if (texts.size() >= kMaxFormattedTexts) {
            texts.clear();
        }
        text = texts.insert(key, format());
    }
    return *text;
}

}  // namespace

const QString& RecordTableModel::dayText(QDate date) const {
    return cachedText(dayTexts_, date.toJulianDay(), [&] { return formats_.date(date); });
}

const QString& RecordTableModel::timeText(QTime time) const {
    return cachedText(timeTexts_, time.msecsSinceStartOfDay(), [&] { return formats_.time(time); });
}

void RecordTableModel::forgetFormattedTexts() {
    dayTexts_.clear();
    timeTexts_.clear();
}

int RecordTableModel::compare(int rowA, int rowB, int column) const {
    const bool nullA = isNull(rowA, column);
    const bool nullB = isNull(rowB, column);
    if (nullA || nullB) {
        return nullA == nullB ? 0 : (nullA ? -1 : 1);
    }
    switch (layout_.fields()[column].type) {
        case FieldType::Integer64:
        case FieldType::DateTime: {
            const qint64 a = integerAt(rowA, column);
            const qint64 b = integerAt(rowB, column);
            return a < b ? -1 : (a > b ? 1 : 0);
        }
        case FieldType::Real: {
            const double a = realAt(rowA, column);
            const double b = realAt(rowB, column);
            return a < b ? -1 : (a > b ? 1 : 0);
        }
        case FieldType::Text: {
            const QStringView a = textAt(rowA, column);
            const QStringView b = textAt(rowB, column);
            // Equal texts are common (a few products, a few users): settle
            // them without folding case.
            if (a == b) {
                return 0;
            }
            const int folded = a.compare(b, Qt::CaseInsensitive);
            return folded != 0 ? folded : a.compare(b, Qt::CaseSensitive);
        }
    }
    return 0;
}

size_t RecordTableModel::memoryBytes() const {
    return rows_.capacity() * sizeof(RecordRow) + texts_.capacity() * sizeof(char16_t);
}
