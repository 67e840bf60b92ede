#pragma once

#include <QString>

class QAbstractProxyModel;
class RecordTableModel;

struct CsvExportResult {
    bool ok = false;
    QString error;  // the reason, when not ok
};

// The file name to write for the name the operator chose: ".csv" is added
// unless the file name already contains ".csv" in any letter case. The folder
// the operator chose is kept.
QString csvFileNameFor(const QString& chosenPath);

// Writes the rows the grid shows (those that pass the filter, in the grid's
// order) with the grid's column titles: UTF-8 without BOM, CR LF, ";" after
// every item, values as the grid shows them. A value holding ";", a quote, CR
// or LF is quoted with its quotes doubled, so it cannot shift the columns.
// The file is written beside the target and renamed into place: a failed
// export never leaves a truncated file under the chosen name.
CsvExportResult ExportGridToCsv(const QAbstractProxyModel& shownRows, const RecordTableModel& table,
                                const QString& path);
