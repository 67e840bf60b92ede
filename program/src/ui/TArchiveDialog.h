#pragma once

#include <QDialog>
#include <QLocale>
#include <vector>

#include "ArchiveProblem.h"
#include "ArchiveReader.h"
#include "LanguageTexts.h"

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The archive's scales and their memories ("ArchiveDialog"), from which the
// operator picks the records to show in the grid. It works without a scale
// attached and stays open beside the window.
class TArchiveDialog : public QDialog {
    Q_OBJECT

public:
    explicit TArchiveDialog(QWidget* parent = nullptr);

    void applyCaptions(Language language);
    void showScales(const ArchiveResult<std::vector<ArchivedScale>>& scales, const QLocale& locale);
    // The memory of the chosen line: a scale's line stands for its most
    // recently read memory. 0 when nothing is chosen.
    qint64 chosenMemory() const;
    // Chooses the line of this memory; false when the list does not hold it.
    bool chooseMemory(qint64 memoryId);

signals:
    void showRequested(qint64 memoryId);
    void refreshRequested();
    void settingsRequested();

private:
    void addScale(const ArchivedScale& scale, const QLocale& locale);
    void requestShow();

    Language language_ = Language::Polish;
    QTreeWidget* ArchiveScales = nullptr;
    QLabel* lbArchiwumLista = nullptr;
    QPushButton* btnPokazArchiwum = nullptr;
    QPushButton* btnOdswiezArchiwum = nullptr;
    QPushButton* btnUstawieniaArchiwum = nullptr;
    QPushButton* btnZamknijArchiwum = nullptr;
};
