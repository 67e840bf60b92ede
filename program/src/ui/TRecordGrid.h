#pragma once

#include <QObject>

class QFileDialog;
class QTableView;
class QWidget;
class LanguageTexts;
class RecordFilterProxy;
class RecordTableModel;

// The record grid's parts: the table of read records, the rows the filter
// shows, the view over them, and the export of the shown rows to CSV with
// its save dialog. The window owns them all; this class builds them and
// runs the export.
class TRecordGrid : public QObject {
    Q_OBJECT

public:
    explicit TRecordGrid(QWidget* window);

    RecordTableModel* table() const { return table_; }
    RecordFilterProxy* shown() const { return shown_; }
    QTableView* view() const { return view_; }

    // Asks for a file and writes the shown rows to it; a failure is told in
    // the language in force.
    void exportShownRows(const LanguageTexts& texts);

private:
    void buildView();
    void buildSaveDialog();

    QWidget* window_;
    RecordTableModel* table_ = nullptr;
    RecordFilterProxy* shown_ = nullptr;
    QTableView* view_ = nullptr;
    QFileDialog* saveDialog_ = nullptr;
};
