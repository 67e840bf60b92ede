#pragma once

#include <QAbstractTableModel>
#include <QHash>

#include "DisplayFormats.h"
#include "RecordLayout.h"
#include "RecordRows.h"

// The record table: typed rows under fields defined per read. A closed table
// (before the first read, after a language switch) has no fields and no rows.
class RecordTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit RecordTableModel(QObject* parent = nullptr);

    // Closed and empty: the grid shows nothing and the filter does nothing.
    void closeTable();
    // Opens an empty table with these fields.
    void defineFields(const RecordLayout& layout);
    // Adds rows in one go (one model reset); ignored while the table is closed.
    void appendRows(RecordBatch&& batch);

    bool isOpen() const { return open_; }
    const RecordLayout& layout() const { return layout_; }
    void setDisplayFormats(const DisplayFormats& formats);
    const DisplayFormats& displayFormats() const { return formats_; }
    // Changes whenever the fields are defined anew.
    quint64 layoutGeneration() const { return layoutGeneration_; }
    // Changes whenever the rows change.
    quint64 dataGeneration() const { return dataGeneration_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Typed access for the filter, the sort and the export; rows and columns
    // must be in range.
    bool isNull(int row, int column) const { return rows_[row].isNull(column); }
    qint64 integerAt(int row, int column) const;
    double realAt(int row, int column) const;
    QStringView textAt(int row, int column) const;
    // The value's text as the grid shows it and the export writes it.
    QString cellText(int row, int column) const;
    // The same text appended, without a string of its own.
    void appendCellText(int row, int column, QString& out) const;
    // Orders two rows by one column: nulls first, then by value.
    int compare(int rowA, int rowB, int column) const;

    // Memory held by the rows and their texts, for the benchmarks.
    size_t memoryBytes() const;

private:
    bool validCell(const QModelIndex& index) const;

    bool open_ = false;
    RecordLayout layout_;
    std::vector<RecordRow> rows_;
    TextArena texts_;
    DisplayFormats formats_;
    quint64 layoutGeneration_ = 0;
    quint64 dataGeneration_ = 0;
    // A memory holds a few thousand days and at most 86,400 times of day,
    // each shown by many rows in any order (a sort by mass scatters them):
    // their texts are formatted once.
    const QString& dayText(QDate date) const;
    const QString& timeText(QTime time) const;
    void forgetFormattedTexts();
    mutable QHash<qint64, QString> dayTexts_;
    mutable QHash<int, QString> timeTexts_;
};
