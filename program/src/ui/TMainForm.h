#pragma once

#include <QMainWindow>
#include <QStringList>
#include <memory>
#include <stdexcept>

#include "AlibiReadSession.h"
#include "DisplayFormats.h"
#include "LanguageTexts.h"
#include "RecordFilter.h"

class CVESKDeviceInterface;
class CVESKScaleInterface;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTableView;
class QTimeEdit;
class QToolButton;
class RecordFilterProxy;
class RecordTableModel;
class TRadioGroup;
class TScaledImage;

// The window cannot work without the library: creation stops with this.
class StartupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The program's one window: the filter panel, the settings panel, the record
// grid and the status bar with the read's state and progress.
class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    static constexpr const char* kLibraryMissingText =
        "QELScale.dll not found. Program will now terminate.";

    // Throws StartupError when QELScale cannot be bound.
    explicit TMainForm(const QStringList& librarySearchDirs = defaultLibrarySearchDirs(),
                       QWidget* parent = nullptr);
    ~TMainForm() override;

    static QStringList defaultLibrarySearchDirs();

    // The text of the first status-bar panel: the state of the last read.
    QString stateText() const;
    qint64 alibiCount() const { return AlibiCount; }
    // The filter's conditions as an expression (also the grid's tool tip).
    const QString& filterExpression() const { return filterExpression_; }
    const LanguageTexts& texts() const { return texts_; }
    // The user's formats; tests may fix them.
    void setDisplayFormats(const DisplayFormats& formats);
    AlibiReadSession& readSession() { return *session_; }

public slots:
    void btnOdczytajClick();
    void btnUstawieniaClick();
    void btnRefreshClick();
    void btnCsvExportClick();
    void chbDataClick();
    void COMClick();
    void USBClick();
    void EthClick();
    void PLClick();
    void ENGClick();
    void ZastosujClick();

private:
    enum class ReadState { None, Reading, Parsing, Success, Error };

    // Window construction.
    void buildWindow();
    QWidget* buildFilterPanel();
    QWidget* buildSettingsPanel();
    void buildGrid();
    void buildStatusBar();
    void connectHandlers();
    QLabel* addLabel(QWidget* parent, const char* name, const QString& text);
    QLineEdit* addLabeledEdit(QWidget* parent, const char* name, const QString& label);

    // Creation steps.
    void bindLibrary(const QStringList& searchDirs);
    void addFixedListItems();
    void ReadStoredSettings();
    void FormCreate();

    // Language.
    void ApplyLanguage();
    void SaveLanguage(const QString& language);
    void applyCaptions();

    // Ports.
    void RefreshPortLists();
    void selectItem(QComboBox* list, const QString& text);

    // Reading.
    void ApplyConnectionSettings();
    void ReadProgress(int percent);
    void ReadStatus(int status);
    void ShowDeviceInfo(const DeviceIdentity& identity);
    void DefineRecordFields(const RecordLayout& layout);
    void FillRecordTable(const std::shared_ptr<RecordBatch>& batch, bool complete);
    void EndReadInError();
    void setReadState(ReadState state);
    void showConnectionError();
    void ShowMessage(const QString& text);

    FilterInputs filterInputs() const;

    LanguageTexts texts_;
    DisplayFormats formats_;
    QString filterExpression_;
    ReadState readState_ = ReadState::None;
    Language readLanguage_ = Language::Polish;  // in force when the read started

    CVESKScaleInterface* ScaleObject = nullptr;
    CVESKDeviceInterface* deviceInterface = nullptr;
    std::unique_ptr<AlibiReadSession> session_;
    qint64 AlibiCount = 0;

    QString SavedComPort;
    QString SavedComBaud;
    QString SavedComParity;
    QString SavedComBits;
    QString SavedUsbDevice;
    QString SavedUsbBaud;
    QString SavedUsbBits;
    QString SavedUsbParity;

    // Filter panel.
    QWidget* Panel1 = nullptr;
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
    QPushButton* btnCsvExport = nullptr;

    // Settings panel.
    QWidget* PanUstawienia = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lbTyp = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* lbNrSeryjny = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* lbDataProdukcji = nullptr;
    QToolButton* PL = nullptr;
    QToolButton* ENG = nullptr;
    QGroupBox* Polaczenie = nullptr;
    QGroupBox* Rodzaj = nullptr;
    QRadioButton* COM = nullptr;
    QRadioButton* USB = nullptr;
    QRadioButton* Eth = nullptr;
    QGroupBox* COM_group = nullptr;
    QLabel* Label4 = nullptr;
    QComboBox* availCom = nullptr;
    QComboBox* availUSB = nullptr;
    QLabel* Label6 = nullptr;
    QComboBox* baudRate = nullptr;
    QLabel* Label7 = nullptr;
    QComboBox* bits = nullptr;
    QLabel* Label8 = nullptr;
    QComboBox* parity = nullptr;
    QGroupBox* Ethernet_group = nullptr;
    QLabel* Label9 = nullptr;
    QLineEdit* ip = nullptr;
    QLabel* Label10 = nullptr;
    QLineEdit* port = nullptr;
    QPushButton* Zastosuj = nullptr;
    QPushButton* btnRefresh = nullptr;

    // Grid and status bar.
    QTableView* DBGrid1 = nullptr;
    RecordTableModel* ClientDataSet1 = nullptr;
    RecordFilterProxy* DataSource1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* statePanel = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QFileDialog* SaveCSVDialog = nullptr;
};
