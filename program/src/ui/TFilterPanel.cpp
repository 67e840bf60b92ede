#include "TFilterPanel.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "ArchiveTexts.h"
#include "DisplayFormats.h"
#include "LanguageTexts.h"
#include "NamedWidgets.h"
#include "Pictures.h"
#include "TRadioGroup.h"
#include "TScaledImage.h"

using NamedWidgets::group;

TFilterPanel::TFilterPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Panel1"));
    setFixedHeight(145);
    auto* panelLayout = new QHBoxLayout(this);
    panelLayout->setContentsMargins(2, 2, 2, 2);

    GroupBox2 = group(this, "GroupBox2", QStringLiteral(" Filtrowanie rekordów: "));
    NamedWidgets::fillWhite(GroupBox2);
    panelLayout->addWidget(GroupBox2);
    auto* grid = new QGridLayout(GroupBox2);
    grid->setContentsMargins(6, 2, 6, 4);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);

    buildDateBounds(GroupBox2);
    grid->addWidget(gbDataCzas, 0, 0);
    buildMassBounds(GroupBox2);
    auto* massColumn = new QVBoxLayout;
    massColumn->setSpacing(2);
    massColumn->addWidget(rgMasa);
    massColumn->addWidget(gbMasa);
    grid->addLayout(massColumn, 0, 1);
    buildRecordIdBounds(GroupBox2);
    grid->addWidget(GroupBox4, 0, 2);
    buildTextConditions(GroupBox2);
    grid->addWidget(GroupBox3, 0, 3);

    buildActions(GroupBox2);
    auto* bottom = new QHBoxLayout;
    for (QPushButton* button : {btnUstawienia, btnOdczytaj, btnPrzerwij, btnCsvExport}) {
        bottom->addWidget(button);
    }
    bottom->insertWidget(2, chbPelnyOdczyt);
    bottom->addStretch(1);
    bottom->addWidget(Label5);
    bottom->addWidget(lbLiczbaRekordow);
    grid->addLayout(bottom, 1, 0, 1, 4);

    Image1 = new TScaledImage(Pictures::scaleLogo(), GroupBox2);
    Image1->setObjectName(QStringLiteral("Image1"));
    grid->addWidget(Image1, 0, 5, 2, 1);
    grid->setColumnStretch(4, 1);

    connectFilterControls();
}

// A labelled edit: the label is a QLabel named after the edit plus "Label",
// with the edit as its buddy.
QLineEdit* TFilterPanel::addLabeledEdit(QWidget* parent, const char* name, const QString& label) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    auto* caption = NamedWidgets::label(parent, (QByteArray(name) + "Label").constData(), label);
    caption->setBuddy(edit);
    return edit;
}

QLabel* TFilterPanel::labelOf(QLineEdit* edit) const {
    return findChild<QLabel*>(edit->objectName() + QLatin1String("Label"));
}

void TFilterPanel::buildDateBounds(QWidget* parent) {
    gbDataCzas = group(parent, "gbDataCzas", QStringLiteral("Data i czas:"));
    auto* dates = new QGridLayout(gbDataCzas);
    dates->setContentsMargins(4, 2, 4, 2);
    chbDataOd = new QCheckBox(QStringLiteral("od"), gbDataCzas);
    chbDataOd->setObjectName(QStringLiteral("chbDataOd"));
    dtpDataOd = new QDateEdit(gbDataCzas);
    dtpDataOd->setObjectName(QStringLiteral("dtpDataOd"));
    dtpCzasOd = new QTimeEdit(gbDataCzas);
    dtpCzasOd->setObjectName(QStringLiteral("dtpCzasOd"));
    chbDataDo = new QCheckBox(QStringLiteral("do"), gbDataCzas);
    chbDataDo->setObjectName(QStringLiteral("chbDataDo"));
    dtpDataDo = new QDateEdit(gbDataCzas);
    dtpDataDo->setObjectName(QStringLiteral("dtpDataDo"));
    dtpCzasDo = new QTimeEdit(gbDataCzas);
    dtpCzasDo->setObjectName(QStringLiteral("dtpCzasDo"));
    for (QDateEdit* date : {dtpDataOd, dtpDataDo}) {
        date->setCalendarPopup(true);
        date->setFixedWidth(100);
    }
    for (QTimeEdit* time : {dtpCzasOd, dtpCzasDo}) {
        time->setFixedWidth(74);
    }
    dates->addWidget(chbDataOd, 0, 0);
    dates->addWidget(dtpDataOd, 0, 1);
    dates->addWidget(dtpCzasOd, 0, 2);
    dates->addWidget(chbDataDo, 1, 0);
    dates->addWidget(dtpDataDo, 1, 1);
    dates->addWidget(dtpCzasDo, 1, 2);
}

// The field to compare and its bounds.
void TFilterPanel::buildMassBounds(QWidget* parent) {
    rgMasa = new TRadioGroup(3, parent);
    rgMasa->setObjectName(QStringLiteral("rgMasa"));
    rgMasa->setTitle(QStringLiteral(" Masa: "));
    rgMasa->setItems({QStringLiteral("Netto"), QStringLiteral("Brutto"), QStringLiteral("Tara")});
    rgMasa->setItemIndex(0);
    gbMasa = group(parent, "gbMasa", QString());
    auto* massBounds = new QHBoxLayout(gbMasa);
    massBounds->setContentsMargins(4, 2, 4, 2);
    leMasaOd = addLabeledEdit(gbMasa, "leMasaOd", QStringLiteral("od"));
    leMasaDo = addLabeledEdit(gbMasa, "leMasaDo", QStringLiteral("do"));
    for (QLineEdit* edit : {leMasaOd, leMasaDo}) {
        edit->setFixedWidth(54);
        massBounds->addWidget(labelOf(edit));
        massBounds->addWidget(edit);
    }
}

void TFilterPanel::buildRecordIdBounds(QWidget* parent) {
    GroupBox4 = group(parent, "GroupBox4", QStringLiteral("RecID:"));
    auto* ids = new QGridLayout(GroupBox4);
    ids->setContentsMargins(4, 2, 4, 2);
    leIDod = addLabeledEdit(GroupBox4, "leIDod", QStringLiteral("od"));
    leIDdo = addLabeledEdit(GroupBox4, "leIDdo", QStringLiteral("do"));
    int row = 0;
    for (QLineEdit* edit : {leIDod, leIDdo}) {
        edit->setFixedWidth(54);
        ids->addWidget(labelOf(edit), row, 0);
        ids->addWidget(edit, row++, 1);
    }
}

// Product and user.
void TFilterPanel::buildTextConditions(QWidget* parent) {
    GroupBox3 = group(parent, "GroupBox3", QStringLiteral(" Bazy danych: "));
    auto* databases = new QGridLayout(GroupBox3);
    databases->setContentsMargins(4, 0, 4, 2);
    databases->setVerticalSpacing(0);
    leProdukt = addLabeledEdit(GroupBox3, "leProdukt", QStringLiteral("Produkt:"));
    leUzytkownik = addLabeledEdit(GroupBox3, "leUzytkownik", QStringLiteral("Użytkownik:"));
    int column = 0;
    for (QLineEdit* edit : {leProdukt, leUzytkownik}) {
        edit->setFixedWidth(70);
        databases->addWidget(labelOf(edit), 0, column);
        databases->addWidget(edit, 1, column++);
    }
}

// The buttons along the bottom, the count to their right.
void TFilterPanel::buildActions(QWidget* parent) {
    btnUstawienia = new QPushButton(QStringLiteral("Ustawienia"), parent);
    btnUstawienia->setObjectName(QStringLiteral("btnUstawienia"));
    btnOdczytaj = new QPushButton(QStringLiteral("Odczytaj"), parent);
    btnOdczytaj->setObjectName(QStringLiteral("btnOdczytaj"));
    chbPelnyOdczyt = new QCheckBox(QStringLiteral("Pełny odczyt"), parent);
    chbPelnyOdczyt->setObjectName(QStringLiteral("chbPelnyOdczyt"));
    btnCsvExport = new QPushButton(QStringLiteral("Export do CSV"), parent);
    btnCsvExport->setObjectName(QStringLiteral("btnCsvExport"));
    btnCsvExport->setEnabled(false);
    // Beside "Odczytaj", and only while a read runs.
    btnPrzerwij = new QPushButton(QStringLiteral("Przerwij"), parent);
    btnPrzerwij->setObjectName(QStringLiteral("btnPrzerwij"));
    btnPrzerwij->hide();
    btnPrzerwij->setEnabled(false);
    for (QPushButton* button : {btnUstawienia, btnOdczytaj, btnPrzerwij, btnCsvExport}) {
        button->setMinimumWidth(92);
    }
    Label5 = NamedWidgets::label(parent, "Label5", QStringLiteral("Liczba znalezionych rekordów:"));
    Label5->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lbLiczbaRekordow = NamedWidgets::label(parent, "lbLiczbaRekordow", QStringLiteral("---"));
    NamedWidgets::makeBold(lbLiczbaRekordow);
    lbLiczbaRekordow->setMinimumWidth(60);
}

void TFilterPanel::connectFilterControls() {
    connect(rgMasa, &TRadioGroup::clicked, this, &TFilterPanel::filterChanged);
    connect(chbDataOd, &QCheckBox::clicked, this, &TFilterPanel::filterChanged);
    connect(chbDataDo, &QCheckBox::clicked, this, &TFilterPanel::filterChanged);
    for (QLineEdit* edit : {leMasaOd, leMasaDo, leUzytkownik, leProdukt, leIDod, leIDdo}) {
        connect(edit, &QLineEdit::textChanged, this, &TFilterPanel::filterChanged);
    }
    for (QDateEdit* date : {dtpDataOd, dtpDataDo}) {
        connect(date, &QDateEdit::dateChanged, this, &TFilterPanel::filterChanged);
    }
    for (QTimeEdit* time : {dtpCzasOd, dtpCzasDo}) {
        connect(time, &QTimeEdit::timeChanged, this, &TFilterPanel::filterChanged);
    }
}

FilterInputs TFilterPanel::inputs() const {
    FilterInputs inputs;
    inputs.dateFromChecked = chbDataOd->isChecked();
    inputs.dateFrom = dtpDataOd->date();
    inputs.timeFrom = dtpCzasOd->time();
    inputs.dateToChecked = chbDataDo->isChecked();
    inputs.dateTo = dtpDataDo->date();
    inputs.timeTo = dtpCzasDo->time();
    inputs.product = leProdukt->text();
    inputs.user = leUzytkownik->text();
    inputs.massItem = rgMasa->itemIndex();
    inputs.massFrom = leMasaOd->text();
    inputs.massTo = leMasaDo->text();
    inputs.idFrom = leIDod->text();
    inputs.idTo = leIDdo->text();
    return inputs;
}

void TFilterPanel::applyCaptions(const LanguageTexts& texts) {
    auto t = [&texts](const char* key) { return texts.text(QLatin1String(key)); };
    GroupBox2->setTitle(t("filterHeader"));
    gbDataCzas->setTitle(t("dateTimeHeader"));
    rgMasa->setTitle(t("mass"));
    rgMasa->setItems({t("net"), t("gross"), t("tare")});
    rgMasa->setItemIndex(0);
    GroupBox3->setTitle(t("database"));
    labelOf(leProdukt)->setText(t("prod"));
    labelOf(leUzytkownik)->setText(t("user"));
    labelOf(leMasaOd)->setText(t("from"));
    chbDataOd->setText(t("from"));
    chbDataDo->setText(t("to"));
    labelOf(leMasaDo)->setText(t("to"));
    Label5->setText(t("nrOfRecs"));
    btnUstawienia->setText(t("settings"));
    btnOdczytaj->setText(t("read"));
    chbPelnyOdczyt->setText(ArchiveTexts::text(texts.language(), "fullRead"));
    chbPelnyOdczyt->setToolTip(ArchiveTexts::text(texts.language(), "fullReadHint"));
    btnCsvExport->setText(t("exportToCSV"));
    btnPrzerwij->setText(t("stop"));
    labelOf(leIDdo)->setText(t("to"));
    labelOf(leIDod)->setText(t("from"));
    nameControls(texts);
}

// Names for assistive technology. "od" and "do" stand beside four edits and
// two check boxes, so each bound is named with what it bounds ("Masa od",
// "Czas do"); the date and time pickers have no caption of their own.
void TFilterPanel::nameControls(const LanguageTexts& texts) {
    auto caption = [](const QString& text) { return NamedWidgets::accessibleCaption(text); };
    auto bound = [&caption](const QString& what, const QString& side) {
        return caption(what) + u' ' + caption(side);
    };
    const QString from = texts.text(u"from");
    const QString to = texts.text(u"to");
    const QString dateTime = texts.text(u"dateTimeHeader");
    chbDataOd->setAccessibleName(bound(dateTime, from));
    chbDataDo->setAccessibleName(bound(dateTime, to));
    dtpDataOd->setAccessibleName(bound(texts.text(u"accDate"), from));
    dtpDataDo->setAccessibleName(bound(texts.text(u"accDate"), to));
    dtpCzasOd->setAccessibleName(bound(texts.text(u"accTime"), from));
    dtpCzasDo->setAccessibleName(bound(texts.text(u"accTime"), to));
    leMasaOd->setAccessibleName(bound(texts.text(u"mass"), from));
    leMasaDo->setAccessibleName(bound(texts.text(u"mass"), to));
    leIDod->setAccessibleName(bound(GroupBox4->title(), from));
    leIDdo->setAccessibleName(bound(GroupBox4->title(), to));
    leProdukt->setAccessibleName(caption(texts.text(u"prod")));
    leUzytkownik->setAccessibleName(caption(texts.text(u"user")));
}

void TFilterPanel::setDisplayFormats(const DisplayFormats& formats) {
    for (QDateEdit* date : {dtpDataOd, dtpDataDo}) {
        date->setDisplayFormat(formats.shortDateFormat());
    }
    for (QTimeEdit* time : {dtpCzasOd, dtpCzasDo}) {
        time->setDisplayFormat(formats.longTimeFormat());
    }
}

void TFilterPanel::startDatesAt(const QDate& today) {
    dtpDataOd->setDate(today);
    dtpCzasOd->setTime(QTime(0, 0));
    dtpDataDo->setDate(today.addDays(1));
    dtpCzasDo->setTime(QTime(0, 0));
}

void TFilterPanel::setRecordCount(const QString& text) {
    lbLiczbaRekordow->setText(text);
}

void TFilterPanel::showReadRunning(bool running) {
    btnOdczytaj->setEnabled(!running);
    btnPrzerwij->setVisible(running);
    btnPrzerwij->setEnabled(running);
}
