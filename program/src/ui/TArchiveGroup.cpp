#include "TArchiveGroup.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "ArchiveTexts.h"

TArchiveGroup::TArchiveGroup(QWidget* parent) : QGroupBox(parent) {
    setObjectName(QStringLiteral("gbArchiwum"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->setSpacing(4);
    btnPrzegladajArchiwum = new QPushButton(this);
    btnPrzegladajArchiwum->setObjectName(QStringLiteral("btnPrzegladajArchiwum"));
    btnUstawieniaArchiwum = new QPushButton(this);
    btnUstawieniaArchiwum->setObjectName(QStringLiteral("btnUstawieniaArchiwum"));
    column->addWidget(btnPrzegladajArchiwum);
    column->addWidget(btnUstawieniaArchiwum);
    applyCaptions(Language::Polish);
}

void TArchiveGroup::applyCaptions(Language language) {
    setTitle(ArchiveTexts::text(language, "archive"));
    btnPrzegladajArchiwum->setText(ArchiveTexts::text(language, "browseArchive"));
    btnUstawieniaArchiwum->setText(ArchiveTexts::text(language, "archiveSettings"));
}
