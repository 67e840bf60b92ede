#pragma once

#include <QWidget>

#include "RecordFilter.h"

class DisplayFormats;
class LanguageTexts;
class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;
class TRadioGroup;
class TScaledImage;

// The top panel ("Panel1"): the filter group with its thirteen controls, the
// buttons of the window's main actions and the count of rows shown.
class TFilterPanel : public QWidget {
    Q_OBJECT

public:
    explicit TFilterPanel(QWidget* parent = nullptr);

    // The state of the thirteen filter controls.
    FilterInputs inputs() const;
    void applyCaptions(const LanguageTexts& texts);
    void setDisplayFormats(const DisplayFormats& formats);
    // The bounds' start values: from today 00:00 to tomorrow 00:00.
    void startDatesAt(const QDate& today);
    void setRecordCount(const QString& text);

    QPushButton* settingsButton() const { return btnUstawienia; }
    QPushButton* readButton() const { return btnOdczytaj; }
    QPushButton* exportButton() const { return btnCsvExport; }
    // Checked: the next read fetches every record, also those in the archive.
    QCheckBox* fullReadBox() const { return chbPelnyOdczyt; }
    QPushButton* stopButton() const { return btnPrzerwij; }
    // While a read runs, "Odczytaj" is disabled and the stop button shown.
    void showReadRunning(bool running);

signals:
    // Any filter control changed (a check box or radio item clicked, a text,
    // date or time edited).
    void filterChanged();

private:
    void buildDateBounds(QWidget* parent);
    void buildMassBounds(QWidget* parent);
    void buildRecordIdBounds(QWidget* parent);
    void buildTextConditions(QWidget* parent);
    void buildActions(QWidget* parent);
    void connectFilterControls();
    void nameControls(const LanguageTexts& texts);
    QLineEdit* addLabeledEdit(QWidget* parent, const char* name, const QString& label);
    QLabel* labelOf(QLineEdit* edit) const;

    QGroupBox* GroupBox2 = nullptr;
    QGroupBox* gbDataCzas = nullptr;
    QCheckBox* chbDataOd = nullptr;
    QDateEdit* dtpDataOd = nullptr;
    QTimeEdit* dtpCzasOd = nullptr;
    QCheckBox* chbDataDo = nullptr;
    QDateEdit* dtpDataDo = nullptr;
    QTimeEdit* dtpCzasDo = nullptr;
    TRadioGroup* rgMasa = nullptr;
    QGroupBox* gbMasa = nullptr;
    QLineEdit* leMasaOd = nullptr;
    QLineEdit* leMasaDo = nullptr;
    QGroupBox* GroupBox4 = nullptr;
    QLineEdit* leIDod = nullptr;
    QLineEdit* leIDdo = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QLineEdit* leProdukt = nullptr;
    QLineEdit* leUzytkownik = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* lbLiczbaRekordow = nullptr;
    TScaledImage* Image1 = nullptr;
    QPushButton* btnUstawienia = nullptr;
    QPushButton* btnOdczytaj = nullptr;
    QCheckBox* chbPelnyOdczyt = nullptr;
    QPushButton* btnCsvExport = nullptr;
    QPushButton* btnPrzerwij = nullptr;
};
