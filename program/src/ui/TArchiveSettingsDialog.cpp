#include "TArchiveSettingsDialog.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ArchiveTexts.h"

namespace {

QLineEdit* newEdit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

QPushButton* newButton(QWidget* parent, const char* name) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

QLabel* hint(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    QFont small = label->font();
    small.setItalic(true);
    label->setFont(small);
    return label;
}

}  // namespace

TArchiveSettingsDialog::TArchiveSettingsDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ArchiveSettingsDialog"));
    auto* column = new QVBoxLayout(this);
    auto* kinds = new QHBoxLayout;
    lbRodzajArchiwum = new QLabel(this);
    rbArchiwumSqlite = new QRadioButton(QStringLiteral("SQLite"), this);
    rbArchiwumSqlite->setObjectName(QStringLiteral("rbArchiwumSqlite"));
    rbArchiwumPostgres = new QRadioButton(QStringLiteral("PostgreSQL"), this);
    rbArchiwumPostgres->setObjectName(QStringLiteral("rbArchiwumPostgres"));
    kinds->addWidget(lbRodzajArchiwum);
    kinds->addWidget(rbArchiwumSqlite);
    kinds->addWidget(rbArchiwumPostgres);
    kinds->addStretch(1);
    column->addLayout(kinds);
    buildSqlite(this);
    column->addWidget(gbArchiwumSqlite);
    buildServer(this);
    column->addWidget(gbArchiwumSerwer);
    lbArchiwumBlad = new QLabel(this);
    lbArchiwumBlad->setObjectName(QStringLiteral("lbArchiwumBlad"));
    lbArchiwumBlad->setWordWrap(true);
    lbArchiwumBlad->setStyleSheet(QStringLiteral("color: #b00000"));
    lbArchiwumBlad->hide();
    column->addWidget(lbArchiwumBlad);

    auto* buttons = new QHBoxLayout;
    btnArchiwumZapisz = newButton(this, "btnArchiwumZapisz");
    btnArchiwumZapisz->setDefault(true);
    btnArchiwumAnuluj = newButton(this, "btnArchiwumAnuluj");
    buttons->addStretch(1);
    buttons->addWidget(btnArchiwumZapisz);
    buttons->addWidget(btnArchiwumAnuluj);
    column->addLayout(buttons);

    connect(rbArchiwumSqlite, &QRadioButton::toggled, this, &TArchiveSettingsDialog::followBackend);
    connect(btnArchiwumPlik, &QPushButton::clicked, this, &TArchiveSettingsDialog::chooseFile);
    connect(btnArchiwumZapisz, &QPushButton::clicked, this, &TArchiveSettingsDialog::accept);
    connect(btnArchiwumAnuluj, &QPushButton::clicked, this, &TArchiveSettingsDialog::reject);
    setConfig(ArchiveConfig());
    applyCaptions(language_);
}

void TArchiveSettingsDialog::buildSqlite(QWidget* parent) {
    gbArchiwumSqlite = new QGroupBox(QStringLiteral("SQLite"), parent);
    gbArchiwumSqlite->setObjectName(QStringLiteral("gbArchiwumSqlite"));
    auto* rows = new QVBoxLayout(gbArchiwumSqlite);
    auto* file = new QHBoxLayout;
    auto* label = new QLabel(gbArchiwumSqlite);
    labels_.append({label, "sqliteFile"});
    leArchiwumPlik = newEdit(gbArchiwumSqlite, "leArchiwumPlik");
    leArchiwumPlik->setMinimumWidth(280);
    label->setBuddy(leArchiwumPlik);
    btnArchiwumPlik = newButton(gbArchiwumSqlite, "btnArchiwumPlik");
    file->addWidget(label);
    file->addWidget(leArchiwumPlik, 1);
    file->addWidget(btnArchiwumPlik);
    rows->addLayout(file);
    lbArchiwumPlikInfo = hint(gbArchiwumSqlite, "lbArchiwumPlikInfo");
    rows->addWidget(lbArchiwumPlikInfo);
}

void TArchiveSettingsDialog::buildServer(QWidget* parent) {
    gbArchiwumSerwer = new QGroupBox(parent);
    gbArchiwumSerwer->setObjectName(QStringLiteral("gbArchiwumSerwer"));
    auto* form = new QFormLayout(gbArchiwumSerwer);
    auto add = [this, form](const char* name, const char* key) {
        QLineEdit* edit = newEdit(gbArchiwumSerwer, name);
        auto* label = new QLabel(gbArchiwumSerwer);
        label->setBuddy(edit);
        labels_.append({label, key});
        form->addRow(label, edit);
        return edit;
    };
    leArchiwumHost = add("leArchiwumHost", "host");
    leArchiwumPort = add("leArchiwumPort", "port");
    leArchiwumPort->setValidator(new QIntValidator(1, 65535, leArchiwumPort));
    leArchiwumBaza = add("leArchiwumBaza", "database");
    leArchiwumUzytkownik = add("leArchiwumUzytkownik", "user");
    leArchiwumHaslo = add("leArchiwumHaslo", "password");
    leArchiwumHaslo->setEchoMode(QLineEdit::Password);
    lbArchiwumHasloInfo = hint(gbArchiwumSerwer, "lbArchiwumHasloInfo");
    form->addRow(lbArchiwumHasloInfo);
    leArchiwumOpcje = add("leArchiwumOpcje", "options");
    leArchiwumOpcje->setPlaceholderText(QStringLiteral("sslmode=require"));
}

void TArchiveSettingsDialog::applyCaptions(Language language) {
    language_ = language;
    auto t = [language](const char* key) { return ArchiveTexts::text(language, key); };
    setWindowTitle(t("archiveSettings"));
    lbRodzajArchiwum->setText(t("archiveKind"));
    gbArchiwumSerwer->setTitle(t("server"));
    for (const auto& [label, key] : labels_) {
        label->setText(t(key));
        label->buddy()->setAccessibleName(t(key));
    }
    btnArchiwumPlik->setText(t("chooseFile"));
    lbArchiwumPlikInfo->setText(t("sqliteFileHint"));
    lbArchiwumHasloInfo->setText(t("passwordHint"));
    btnArchiwumZapisz->setText(t("save"));
    btnArchiwumAnuluj->setText(t("cancel"));
}

void TArchiveSettingsDialog::setConfig(const ArchiveConfig& config) {
    config_ = config;
    const bool sqlite = config.backend == ArchiveBackend::SQLite;
    rbArchiwumSqlite->setChecked(sqlite);
    rbArchiwumPostgres->setChecked(!sqlite);
    leArchiwumPlik->setText(config.sqliteFile);
    leArchiwumPlik->setPlaceholderText(ArchiveConfig::defaultSqliteFile());
    leArchiwumHost->setText(config.host);
    leArchiwumPort->setText(QString::number(config.port));
    leArchiwumBaza->setText(config.database);
    leArchiwumUzytkownik->setText(config.user);
    leArchiwumHaslo->setText(config.password);
    leArchiwumOpcje->setText(config.options);
    lbArchiwumBlad->hide();
    followBackend();
}

ArchiveConfig TArchiveSettingsDialog::config() const {
    ArchiveConfig config = config_;
    config.backend =
        rbArchiwumPostgres->isChecked() ? ArchiveBackend::PostgreSQL : ArchiveBackend::SQLite;
    config.sqliteFile = leArchiwumPlik->text().trimmed();
    config.host = leArchiwumHost->text().trimmed();
    config.port = leArchiwumPort->text().trimmed().toInt();
    config.database = leArchiwumBaza->text().trimmed();
    config.user = leArchiwumUzytkownik->text().trimmed();
    config.password = leArchiwumHaslo->text();
    config.options = leArchiwumOpcje->text().trimmed();
    config.settingsProblem.clear();
    return config;
}

QString TArchiveSettingsDialog::problem() const {
    if (!rbArchiwumPostgres->isChecked()) {
        return {};
    }
    const int port = leArchiwumPort->text().trimmed().toInt();
    if (port < 1 || port > 65535) {
        return ArchiveTexts::text(language_, "portInvalid");
    }
    if (leArchiwumHost->text().trimmed().isEmpty() || leArchiwumBaza->text().trimmed().isEmpty()) {
        return ArchiveTexts::text(language_, "serverIncomplete");
    }
    return {};
}

void TArchiveSettingsDialog::accept() {
    const QString wrong = problem();
    if (!wrong.isEmpty()) {
        lbArchiwumBlad->setText(wrong);
        lbArchiwumBlad->show();
        return;
    }
    lbArchiwumBlad->hide();
    QDialog::accept();
}

void TArchiveSettingsDialog::followBackend() {
    const bool sqlite = rbArchiwumSqlite->isChecked();
    gbArchiwumSqlite->setEnabled(sqlite);
    gbArchiwumSerwer->setEnabled(!sqlite);
}

void TArchiveSettingsDialog::chooseFile() {
    const QString chosen = QFileDialog::getSaveFileName(
        this, ArchiveTexts::text(language_, "sqliteFile"), leArchiwumPlik->text(),
        QStringLiteral("SQLite (*.sqlite *.db);;* (*)"), nullptr,
        QFileDialog::DontConfirmOverwrite | QFileDialog::DontUseNativeDialog);
    if (!chosen.isEmpty()) {
        leArchiwumPlik->setText(chosen);
    }
}
