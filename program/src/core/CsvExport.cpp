#include "CsvExport.h"

#include <QAbstractProxyModel>
#include <QFileInfo>
#include <QSaveFile>

#include "RecordTableModel.h"

namespace {

constexpr qsizetype kFlushChars = 1 << 19;

bool needsQuotes(QStringView value) {
    for (QChar c : value) {
        const char16_t u = c.unicode();
        if (u == u';' || u == u'"' || u == u'\r' || u == u'\n') {
            return true;
        }
    }
    return false;
}

// Quotes the item that begins at `start` when it needs it, then ends it.
void endItem(QString& line, qsizetype start) {
    if (needsQuotes(QStringView(line).mid(start))) {
        QString quoted = line.mid(start);
        quoted.replace(u'"', QLatin1String("\"\""));
        line.truncate(start);
        line += u'"';
        line += quoted;
        line += u'"';
    }
    line += u';';
}

// Writes the text and empties it, keeping its room for the next chunk.
bool writeUtf8(QSaveFile& file, QString& text) {
    const QByteArray bytes = text.toUtf8();
    text.resize(0);
    return file.write(bytes) == bytes.size();
}

// The masses: the columns whose text carries the locale's minus sign.
std::vector<bool> numberColumns(const RecordTableModel& table) {
    std::vector<bool> numbers;
    for (const FieldDefinition& field : table.layout().fields()) {
        numbers.push_back(field.type == FieldType::Real);
    }
    numbers.resize(static_cast<size_t>(table.columnCount()), false);
    return numbers;
}

// Spreadsheets take a number only with an ASCII minus; some locales write
// U+2212 (or a sign with a direction mark). The grid keeps the locale's.
void toAsciiMinus(QString& text, qsizetype start, const QString& localeMinus) {
    if (QStringView(text).mid(start).startsWith(localeMinus)) {
        text.replace(start, localeMinus.size(), QStringLiteral("-"));
    }
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
    // Rows are gathered as text and turned into UTF-8 a chunk at a time: a
    // conversion and an allocation per row would cost more than the values.
    QString text;
    text.reserve(kFlushChars + 1024);
    for (int column = 0; column < columns; ++column) {
        const qsizetype start = text.size();
        text += table.headerData(column, Qt::Horizontal).toString();
        endItem(text, start);
    }
    text += QLatin1String("\r\n");

    const std::vector<bool> numbers = numberColumns(table);
    const QString localeMinus = table.displayFormats().locale().negativeSign();
    const bool asciiMinus = localeMinus == QLatin1String("-");
    const int rows = shownRows.rowCount();
    for (int row = 0; row < rows; ++row) {
        const int tableRow = shownRows.mapToSource(shownRows.index(row, 0)).row();
        for (int column = 0; column < columns; ++column) {
            const qsizetype start = text.size();
            table.appendCellText(tableRow, column, text);
            if (!asciiMinus && numbers[column]) {
                toAsciiMinus(text, start, localeMinus);
            }
            endItem(text, start);
        }
        text += QLatin1String("\r\n");
        if (text.size() >= kFlushChars && !writeUtf8(file, text)) {
            return {false, file.errorString()};
        }
    }
    if (!writeUtf8(file, text)) {
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
