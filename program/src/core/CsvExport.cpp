#include "CsvExport.h"

#include <QAbstractProxyModel>
#include <QFileInfo>
#include <QSaveFile>

#include "RecordTableModel.h"

namespace {

constexpr qsizetype kFlushBytes = 1 << 20;

bool needsQuotes(const QString& value) {
    for (QChar c : value) {
        const char16_t u = c.unicode();
        if (u == u';' || u == u'"' || u == u'\r' || u == u'\n') {
            return true;
        }
    }
    return false;
}

void appendItem(QString& line, const QString& value) {
    if (needsQuotes(value)) {
        QString quoted = value;
        quoted.replace(u'"', QLatin1String("\"\""));
        line += u'"';
        line += quoted;
        line += u'"';
    } else {
        line += value;
    }
    line += u';';
}

}  // namespace

QString csvFileNameFor(const QString& chosenPath) {
    const QFileInfo chosen(chosenPath);
    if (chosen.fileName().contains(QLatin1String(".csv"), Qt::CaseInsensitive)) {
        return chosenPath;
    }
    return chosenPath + QLatin1String(".csv");
}

CsvExportResult ExportGridToCsv(const QAbstractProxyModel& shownRows, const RecordTableModel& table,
                                const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return {false, file.errorString()};
    }
    const int columns = table.columnCount();
    QString line;
    for (int column = 0; column < columns; ++column) {
        appendItem(line, table.headerData(column, Qt::Horizontal).toString());
    }
    line += QLatin1String("\r\n");
    QByteArray pending = line.toUtf8();

    const int rows = shownRows.rowCount();
    for (int row = 0; row < rows; ++row) {
        const int tableRow = shownRows.mapToSource(shownRows.index(row, 0)).row();
        line.clear();
        for (int column = 0; column < columns; ++column) {
            appendItem(line, table.cellText(tableRow, column));
        }
        line += QLatin1String("\r\n");
        pending += line.toUtf8();
        if (pending.size() >= kFlushBytes) {
            if (file.write(pending) != pending.size()) {
                return {false, file.errorString()};
            }
            pending.clear();
        }
    }
    if (file.write(pending) != pending.size()) {
        return {false, file.errorString()};
    }
    // Qt 6.4's commit() ignores a failed flush of the last buffered bytes and
    // would rename a truncated file into place: flush and check first.
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        const QString reason = file.errorString();
        file.cancelWriting();
        file.commit();  // discards the temporary file
        return {false, reason};
    }
    if (!file.commit()) {
        return {false, file.errorString()};
    }
    return {true, {}};
}
