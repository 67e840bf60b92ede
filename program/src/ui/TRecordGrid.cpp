#include "TRecordGrid.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QTableView>

#include "CsvExport.h"
#include "LanguageTexts.h"
#include "RecordFilterProxy.h"
#include "RecordTableModel.h"

TRecordGrid::TRecordGrid(QWidget* window) : QObject(window), window_(window) {
    table_ = new RecordTableModel(window);
    table_->setObjectName(QStringLiteral("ClientDataSet1"));
    shown_ = new RecordFilterProxy(table_, window);
    shown_->setObjectName(QStringLiteral("DataSource1"));
    buildView();
    buildSaveDialog();
}

void TRecordGrid::buildView() {
    view_ = new QTableView(window_);
    view_->setObjectName(QStringLiteral("DBGrid1"));
    view_->setModel(shown_);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setTabKeyNavigation(true);
    view_->setShowGrid(true);
    view_->setWordWrap(false);
    view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QHeaderView* titles = view_->horizontalHeader();
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setSectionsClickable(true);
    titles->setHighlightSections(true);
    titles->setSectionsMovable(false);
    titles->setDefaultSectionSize(90);
    // Column widths follow the rows on screen, not all of a million.
    titles->setResizeContentsPrecision(100);
    // Unsorted until the operator clicks a title: rows in arrival order.
    titles->setSortIndicator(-1, Qt::AscendingOrder);
    view_->setSortingEnabled(true);
    QHeaderView* indicator = view_->verticalHeader();
    // Fixed row heights keep a grid of a million rows fast.
    indicator->setSectionResizeMode(QHeaderView::Fixed);
    indicator->setDefaultSectionSize(view_->fontMetrics().height() + 4);
}

void TRecordGrid::buildSaveDialog() {
    saveDialog_ = new QFileDialog(window_);
    saveDialog_->setObjectName(QStringLiteral("SaveCSVDialog"));
    saveDialog_->setNameFilter(QStringLiteral("csv (*.csv)"));
    saveDialog_->setFileMode(QFileDialog::AnyFile);
    saveDialog_->setAcceptMode(QFileDialog::AcceptSave);
    saveDialog_->setOption(QFileDialog::DontConfirmOverwrite, true);
    saveDialog_->setOption(QFileDialog::DontUseNativeDialog, true);
}

void TRecordGrid::exportShownRows(const LanguageTexts& texts) {
    // A closed table (after a language switch) shows no columns: nothing to write.
    if (!table_->isOpen()) {
        return;
    }
    if (saveDialog_->exec() != QDialog::Accepted) {
        return;
    }
    const QStringList chosen = saveDialog_->selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) {
        return;
    }
    const QString path = csvFileNameFor(chosen.first());
    // The file holds what the filter controls ask for, even a change made
    // just before the click.
    shown_->applyPendingChanges();
    const CsvExportResult result = ExportGridToCsv(*shown_, *table_, path);
    if (!result.ok) {
        QMessageBox box(QMessageBox::Warning, texts.text(u"error"),
                        path + QLatin1String("\n") + result.error, QMessageBox::Ok, window_);
        box.setObjectName(QStringLiteral("ExportMessage"));
        box.exec();
    }
}
