#include "TArchiveDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ArchiveTexts.h"

namespace {

constexpr int kMemoryRole = Qt::UserRole;

QPushButton* newButton(QWidget* parent, const char* name) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

}  // namespace

TArchiveDialog::TArchiveDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ArchiveDialog"));
    resize(560, 360);
    auto* column = new QVBoxLayout(this);
    ArchiveScales = new QTreeWidget(this);
    ArchiveScales->setObjectName(QStringLiteral("ArchiveScales"));
    ArchiveScales->setColumnCount(4);
    ArchiveScales->setRootIsDecorated(true);
    ArchiveScales->setUniformRowHeights(true);
    ArchiveScales->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    column->addWidget(ArchiveScales, 1);
    lbArchiwumLista = new QLabel(this);
    lbArchiwumLista->setObjectName(QStringLiteral("lbArchiwumLista"));
    lbArchiwumLista->setWordWrap(true);
    lbArchiwumLista->hide();
    column->addWidget(lbArchiwumLista);

    auto* buttons = new QHBoxLayout;
    btnPokazArchiwum = newButton(this, "btnPokazArchiwum");
    btnPokazArchiwum->setDefault(true);
    btnOdswiezArchiwum = newButton(this, "btnOdswiezArchiwum");
    btnUstawieniaArchiwum = newButton(this, "btnUstawieniaArchiwumDialog");
    btnZamknijArchiwum = newButton(this, "btnZamknijArchiwum");
    buttons->addWidget(btnPokazArchiwum);
    buttons->addWidget(btnOdswiezArchiwum);
    buttons->addStretch(1);
    buttons->addWidget(btnUstawieniaArchiwum);
    buttons->addWidget(btnZamknijArchiwum);
    column->addLayout(buttons);

    connect(btnPokazArchiwum, &QPushButton::clicked, this, &TArchiveDialog::requestShow);
    connect(ArchiveScales, &QTreeWidget::itemActivated, this, &TArchiveDialog::requestShow);
    connect(btnOdswiezArchiwum, &QPushButton::clicked, this, &TArchiveDialog::refreshRequested);
    connect(btnUstawieniaArchiwum, &QPushButton::clicked, this, &TArchiveDialog::settingsRequested);
    connect(btnZamknijArchiwum, &QPushButton::clicked, this, &QDialog::close);
    applyCaptions(language_);
}

void TArchiveDialog::applyCaptions(Language language) {
    language_ = language;
    auto t = [language](const char* key) { return ArchiveTexts::text(language, key); };
    setWindowTitle(t("archive"));
    ArchiveScales->setHeaderLabels(
        {t("scaleColumn"), t("recordsColumn"), t("numbersColumn"), t("lastReadColumn")});
    btnPokazArchiwum->setText(t("showRecords"));
    btnOdswiezArchiwum->setText(t("refreshList"));
    btnUstawieniaArchiwum->setText(t("archiveSettings"));
    btnZamknijArchiwum->setText(t("close"));
}

void TArchiveDialog::showScales(const ArchiveResult<std::vector<ArchivedScale>>& scales,
                                const QLocale& locale) {
    const qint64 chosen = chosenMemory();
    ArchiveScales->clear();
    if (!scales.ok()) {
        lbArchiwumLista->setText(ArchiveTexts::text(language_, "listFailed")
                                     .arg(ArchiveTexts::problem(language_, scales.problem.kind)));
        lbArchiwumLista->setToolTip(scales.problem.detail);
        lbArchiwumLista->show();
        return;
    }
    for (const ArchivedScale& scale : scales.value) {
        addScale(scale, locale);
    }
    lbArchiwumLista->setText(ArchiveTexts::text(language_, "noScales"));
    lbArchiwumLista->setToolTip(QString());
    lbArchiwumLista->setVisible(scales.value.empty());
    ArchiveScales->expandAll();
    for (int column = 1; column < ArchiveScales->columnCount(); ++column) {
        ArchiveScales->resizeColumnToContents(column);
    }
    if (!chooseMemory(chosen) && ArchiveScales->topLevelItemCount() > 0) {
        ArchiveScales->setCurrentItem(ArchiveScales->topLevelItem(0));
    }
}

void TArchiveDialog::addScale(const ArchivedScale& scale, const QLocale& locale) {
    auto t = [this](const char* key) { return ArchiveTexts::text(language_, key); };
    auto* top = new QTreeWidgetItem(ArchiveScales);
    top->setText(0, t("scaleItem").arg(scale.type).arg(scale.serialNumber));
    if (scale.memories.empty()) {
        return;
    }
    const ArchivedMemory& latest = scale.memories.front();
    top->setData(0, kMemoryRole, latest.memoryId);
    for (const ArchivedMemory& memory : scale.memories) {
        auto* item = new QTreeWidgetItem(top);
        item->setText(0, t("memoryItem").arg(memory.memoryId));
        item->setText(1, locale.toString(memory.recordCount));
        item->setText(2, locale.toString(memory.newestNumber));
        item->setText(3, locale.toString(memory.lastReadAt, QLocale::ShortFormat));
        item->setData(0, kMemoryRole, memory.memoryId);
    }
    top->setText(1, locale.toString(latest.recordCount));
    top->setText(3, locale.toString(latest.lastReadAt, QLocale::ShortFormat));
}

qint64 TArchiveDialog::chosenMemory() const {
    const QTreeWidgetItem* item = ArchiveScales->currentItem();
    return item == nullptr ? 0 : item->data(0, kMemoryRole).toLongLong();
}

bool TArchiveDialog::chooseMemory(qint64 memoryId) {
    if (memoryId <= 0) {
        return false;
    }
    for (int i = 0; i < ArchiveScales->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = ArchiveScales->topLevelItem(i);
        for (int j = 0; j < top->childCount(); ++j) {
            if (top->child(j)->data(0, kMemoryRole).toLongLong() == memoryId) {
                ArchiveScales->setCurrentItem(top->child(j));
                return true;
            }
        }
    }
    return false;
}

void TArchiveDialog::requestShow() {
    const qint64 memoryId = chosenMemory();
    if (memoryId > 0) {
        emit showRequested(memoryId);
    }
}
