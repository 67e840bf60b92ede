#pragma once

#include <QDialog>

#include "ArchiveConfig.h"
#include "LanguageTexts.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Where the record archive lives ("ArchiveSettingsDialog"): an SQLite file,
// by default in the user's data folder, or a PostgreSQL server shared by
// several scales and sites. "Zapisz" checks the values and accepts; the
// caller stores them (ArchiveSettings) and reopens the archive.
class TArchiveSettingsDialog : public QDialog {
    Q_OBJECT

public:
    explicit TArchiveSettingsDialog(QWidget* parent = nullptr);

    void applyCaptions(Language language);
    void setConfig(const ArchiveConfig& config);
    // The values as entered; only meaningful after a check passed.
    ArchiveConfig config() const;

    void accept() override;

private:
    void buildSqlite(QWidget* parent);
    void buildServer(QWidget* parent);
    void followBackend();
    void chooseFile();
    // Empty when the values can be used, else what is wrong.
    QString problem() const;

    Language language_ = Language::Polish;
    ArchiveConfig config_;  // keeps the values the dialog does not show
    QLabel* lbRodzajArchiwum = nullptr;
    QRadioButton* rbArchiwumSqlite = nullptr;
    QRadioButton* rbArchiwumPostgres = nullptr;
    QGroupBox* gbArchiwumSqlite = nullptr;
    QLineEdit* leArchiwumPlik = nullptr;
    QPushButton* btnArchiwumPlik = nullptr;
    QLabel* lbArchiwumPlikInfo = nullptr;
    QGroupBox* gbArchiwumSerwer = nullptr;
    QLineEdit* leArchiwumHost = nullptr;
    QLineEdit* leArchiwumPort = nullptr;
    QLineEdit* leArchiwumBaza = nullptr;
    QLineEdit* leArchiwumUzytkownik = nullptr;
    QLineEdit* leArchiwumHaslo = nullptr;
    QLineEdit* leArchiwumOpcje = nullptr;
    QLabel* lbArchiwumHasloInfo = nullptr;
    QLabel* lbArchiwumBlad = nullptr;
    QPushButton* btnArchiwumZapisz = nullptr;
    QPushButton* btnArchiwumAnuluj = nullptr;
    QList<QPair<QLabel*, const char*>> labels_;
};
