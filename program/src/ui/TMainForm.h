#pragma once

#include <QMainWindow>
#include <QStringList>
#include <memory>
#include <stdexcept>

#include "AlibiReadSession.h"
#include "DisplayFormats.h"
#include "LanguageTexts.h"
#include "ReadState.h"
#include "ReadTableFill.h"
#include "TSettingsPanel.h"

class ArchivedReads;
struct ArchivedMemoryRows;
class CVESKDeviceInterface;
class CVESKScaleInterface;
class QTableView;
class RecordFilterProxy;
class RecordTableModel;
class TArchiveControls;
class TFilterPanel;
class TReadPaceWatch;
class TReadStatusBar;
class TRecordGrid;
class TSettingsPanel;
class WindowMemory;

// The window cannot work without the library: creation stops with this.
class StartupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The program's one window: the filter panel on top, the settings panel and
// the record grid below it, the status bar with the read's state and
// progress. The window drives the read, the filter, the export and the
// language; the panels hold their controls.
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
    ArchivedReads& archivedReads() { return *reads_; }

public slots:
    void btnOdczytajClick();
    void btnPrzerwijClick();
    void btnUstawieniaClick();
    void btnRefreshClick();
    void btnCsvExportClick();
    void chbDataClick();
    void PLClick();
    void ENGClick();
    void ZastosujClick();

private:
    // Window construction.
    void buildWindow();
    void buildGrid();
    void connectHandlers();
    void connectReadSession();
    void connectArchive();

    // Creation steps.
    void bindLibrary(const QStringList& searchDirs);
    void ReadStoredSettings();
    void FormCreate();

    // Language.
    void ApplyLanguage();
    void SaveLanguage(const QString& language);
    void chooseLanguage(Language language);

    // Ports.
    void RefreshPortLists(bool onlyPresentPaths = false);

    // Reading.
    void ApplyConnectionSettings();
    void ReadProgress(int percent);
    void ReadStatus(int status);
    void ShowDeviceInfo(const DeviceIdentity& identity);
    void DefineRecordFields(const RecordLayout& layout);
    void FillRecordTable(const std::shared_ptr<RecordBatch>& batch, const ReadOutcome& outcome);
    void ShowArchivedMemory(const ArchivedMemoryRows& rows);
    void EndReadInError();
    void endReadWithoutAnswer(const ReadOutcome* outcome);
    void showReadRunning(bool running);
    bool askForConnectionKind();
    void setReadState(ReadState state);
    // "connErr", with `reason` under it when there is one.
    void showConnectionError(const QString& reason = QString());
    void ShowMessage(const QString& text);

    LanguageTexts texts_;
    DisplayFormats formats_;
    QString filterExpression_;
    bool countAwaitsPass_ = false;  // the count label waits for the grid's pass
    ReadState readState_ = ReadState::None;
    ReadTableFill tableFill_;
    ConnectionChoice readChoice_;  // the settings the read uses

    CVESKScaleInterface* ScaleObject = nullptr;
    CVESKDeviceInterface* deviceInterface = nullptr;
    // Declared first, destroyed last: the session stops its listener before.
    std::unique_ptr<ArchivedReads> reads_;
    std::unique_ptr<AlibiReadSession> session_;
    TArchiveControls* archiveControls_ = nullptr;
    qint64 AlibiCount = 0;

    TFilterPanel* Panel1 = nullptr;
    TSettingsPanel* PanUstawienia = nullptr;
    TRecordGrid* grid_ = nullptr;
    QTableView* DBGrid1 = nullptr;
    RecordTableModel* ClientDataSet1 = nullptr;
    RecordFilterProxy* DataSource1 = nullptr;
    TReadStatusBar* StatusBar1 = nullptr;
    TReadPaceWatch* paceWatch_ = nullptr;
    WindowMemory* windowMemory_ = nullptr;
};
