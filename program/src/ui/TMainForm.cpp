#include "TMainForm.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "ArchivedReads.h"
#include "ConnectionFailureText.h"
#include "ConnectionNames.h"
#include "ConnectionSetup.h"
#include "Pictures.h"
#include "QELScale.h"
#include "ReadEndMessages.h"
#include "RecordFilter.h"
#include "RecordFilterProxy.h"
#include "RecordTableModel.h"
#include "ScaleLibrary.h"
#include "SettingsStore.h"
#include "TArchiveControls.h"
#include "TFilterPanel.h"
#include "TReadPaceWatch.h"
#include "TReadStatusBar.h"
#include "TRecordGrid.h"
#include "TSettingsPanel.h"
#include "WindowMemory.h"

TMainForm::TMainForm(const QStringList& librarySearchDirs, QWidget* parent) : QMainWindow(parent) {
    buildWindow();
    bindLibrary(librarySearchDirs);
    connectArchive();
    ReadStoredSettings();
    RefreshPortLists();
    PanUstawienia->setFlagIcons(Pictures::flag(0), Pictures::flag(1));
    ApplyLanguage();
    connectHandlers();
    setDisplayFormats(formats_);
    FormCreate();
    windowMemory_ = new WindowMemory(this, DBGrid1);
    windowMemory_->restore();
}

// However the window goes, its place and column widths are kept for the next run.
TMainForm::~TMainForm() {
    windowMemory_->save();
}

QStringList TMainForm::defaultLibrarySearchDirs() {
    return ScaleLibrary::defaultSearchDirs();
}

// ---- construction ----------------------------------------------------------

void TMainForm::buildWindow() {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("QEL Tarvo v0.4"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    resize(836, 588);
    move(200, 208);

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    Panel1 = new TFilterPanel(central);
    column->addWidget(Panel1);
    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    PanUstawienia = new TSettingsPanel(central);
    body->addWidget(PanUstawienia);
    buildGrid();
    body->addWidget(DBGrid1, 1);
    column->addLayout(body, 1);
    setCentralWidget(central);
    StatusBar1 = new TReadStatusBar(this);
    setStatusBar(StatusBar1);
}

void TMainForm::buildGrid() {
    grid_ = new TRecordGrid(this);
    ClientDataSet1 = grid_->table();
    DataSource1 = grid_->shown();
    DBGrid1 = grid_->view();
    formats_ = DisplayFormats();
    ClientDataSet1->setDisplayFormats(formats_);
}

void TMainForm::connectHandlers() {
    connect(Panel1->readButton(), &QPushButton::clicked, this, &TMainForm::btnOdczytajClick);
    connect(Panel1->settingsButton(), &QPushButton::clicked, this, &TMainForm::btnUstawieniaClick);
    connect(Panel1->exportButton(), &QPushButton::clicked, this, &TMainForm::btnCsvExportClick);
    connect(Panel1->stopButton(), &QPushButton::clicked, this, &TMainForm::btnPrzerwijClick);
    connect(Panel1, &TFilterPanel::filterChanged, this, &TMainForm::chbDataClick);
    connect(PanUstawienia, &TSettingsPanel::refreshRequested, this, &TMainForm::btnRefreshClick);
    connect(PanUstawienia, &TSettingsPanel::saveRequested, this, &TMainForm::ZastosujClick);
    connect(PanUstawienia, &TSettingsPanel::languageChosen, this, &TMainForm::chooseLanguage);
    // The shown rows follow the filter and the order at once on a small
    // table, within a frame on a large one: the count and the sort indicator
    // follow them.
    connect(DataSource1, &RecordFilterProxy::passApplied, this, [this] {
        DBGrid1->horizontalHeader()->setSortIndicatorShown(DataSource1->sortColumn() >= 0);
        if (countAwaitsPass_) {
            countAwaitsPass_ = false;
            Panel1->setRecordCount(QString::number(DataSource1->rowCount()));
        }
    });
    connectReadSession();
}

void TMainForm::connectReadSession() {
    AlibiReadSession* session = session_.get();
    connect(session, &AlibiReadSession::progressChanged, this, &TMainForm::ReadProgress);
    connect(session, &AlibiReadSession::identityReceived, this, &TMainForm::ShowDeviceInfo);
    connect(session, &AlibiReadSession::fieldsDefined, this, &TMainForm::DefineRecordFields);
    connect(session, &AlibiReadSession::columnLineMissing, this, [this] {
        showConnectionError();
        EndReadInError();
    });
    // The definition starts by closing the table; a failed one leaves it closed.
    connect(session, &AlibiReadSession::tableFailed, this, [this] {
        ClientDataSet1->closeTable();
        EndReadInError();
    });
    connect(session, &AlibiReadSession::parsingStarted, this,
            [this] { ReadStatus(qelscale::kAlibiRecordsStored); });
    // The rows of a read, whichever way it ended, come through the archive
    // (connectArchive).
    connect(session, &AlibiReadSession::libraryFailed, this,
            [this] { endReadWithoutAnswer(nullptr); });
}

// Reads go through the archive, which hands the rows on; its controls live
// in the settings panel and the status bar.
void TMainForm::connectArchive() {
    reads_ = std::make_unique<ArchivedReads>(*session_);
    archiveControls_ = new TArchiveControls(
        *reads_, *PanUstawienia->archiveGroup(), *StatusBar1, texts_, formats_,
        [this] { return session_->isRunning() || reads_->isBusy(); }, this);
    connect(reads_.get(), &ArchivedReads::rowsReady, this, &TMainForm::FillRecordTable);
    connect(reads_.get(), &ArchivedReads::fullReadNeeded, this, &TMainForm::btnOdczytajClick);
    connect(reads_.get(), &ArchivedReads::memoryLoaded, this, &TMainForm::ShowArchivedMemory);
    archiveControls_->openStored();
}

// ---- creation steps --------------------------------------------------------

void TMainForm::bindLibrary(const QStringList& searchDirs) {
    ScaleLibrary library;
    ScaleObject = library.createScale(searchDirs);
    if (ScaleObject == nullptr) {
        qWarning("QELScale: %s", qPrintable(library.errorString()));
        throw StartupError(kLibraryMissingText);
    }
    deviceInterface = ScaleObject;
    session_ = std::make_unique<AlibiReadSession>(ScaleObject);
    paceWatch_ = new TReadPaceWatch(*session_, *StatusBar1, this);
}

void TMainForm::ReadStoredSettings() {
    SettingsStore store;
    if (store.exists()) {
        PanUstawienia->applyStored(store.readConnection());
    } else {
        PanUstawienia->setPortLists(
            ConnectionNames::comPortsFromAnswer(deviceInterface->GetParameter("comports")), {});
    }
}

void TMainForm::FormCreate() {
    Panel1->startDatesAt(QDate::currentDate());
}

void TMainForm::setDisplayFormats(const DisplayFormats& formats) {
    formats_ = formats;
    ClientDataSet1->setDisplayFormats(formats);
    Panel1->setDisplayFormats(formats);
}

// ---- language --------------------------------------------------------------

void TMainForm::ApplyLanguage() {
    ClientDataSet1->closeTable();
    SettingsStore store;
    store.ensureExists();
    texts_.setLanguage(LanguageTexts::fromStoredName(store.language()));
    Panel1->applyCaptions(texts_);
    PanUstawienia->applyCaptions(texts_);
    Panel1->setRecordCount(QStringLiteral("---"));
    PanUstawienia->showIdentity(QStringLiteral("---"), QStringLiteral("---"),
                                QStringLiteral("---"));
    archiveControls_->applyLanguage();
}

void TMainForm::SaveLanguage(const QString& language) {
    SettingsStore().saveLanguage(language);
}

void TMainForm::chooseLanguage(Language language) {
    SaveLanguage(LanguageTexts::storedName(language));
    ApplyLanguage();
}

void TMainForm::PLClick() {
    chooseLanguage(Language::Polish);
}

void TMainForm::ENGClick() {
    chooseLanguage(Language::English);
}

// ---- settings panel and ports -----------------------------------------------

void TMainForm::btnUstawieniaClick() {
    PanUstawienia->setVisible(PanUstawienia->isHidden());
}

// The operator asks for the ports there are: a device path that vanished
// (a converter pulled out) is not offered for the next read. At start the
// stored choice stays, so that a read names the port it could not open.
void TMainForm::btnRefreshClick() {
    RefreshPortLists(true);
}

void TMainForm::RefreshPortLists(bool onlyPresentPaths) {
    // A read in progress uses the device's transport, which a change of the
    // connection kind would destroy under it.
    if (session_->isRunning() || reads_->isBusy()) {
        return;
    }
    session_->stopPreviousListener();
    QStringList usbDevices;
    try {
        deviceInterface->SetConnectionKind(qelscale::kConnectionUsb);
        usbDevices = ConnectionNames::usbDevicesFromCount(deviceInterface->GetParameter("count"));
    } catch (...) {
        usbDevices.clear();
    }
    deviceInterface->SetConnectionKind(qelscale::kConnectionSerial);
    PanUstawienia->setPortLists(
        ConnectionNames::comPortsFromAnswer(deviceInterface->GetParameter("comports")), usbDevices,
        onlyPresentPaths);
}

void TMainForm::ZastosujClick() {
    const QList<QPair<QString, QString>> values = PanUstawienia->valuesToStore();
    if (values.isEmpty()) {
        return;
    }
    if (!SettingsStore().setValues(values)) {
        ShowMessage(texts_.text(u"failRegSave"));
    }
}

// ---- reading ---------------------------------------------------------------

// Also the full read that replaces a read the archive did not fit.
void TMainForm::btnOdczytajClick() {
    if (session_->isRunning() || reads_->isBusy()) {
        return;
    }
    // A listener still winding down must not see its transport replaced.
    session_->stopPreviousListener();
    if (!askForConnectionKind()) {
        return;
    }
    AlibiCount = 0;
    setReadState(ReadState::Reading);
    showReadRunning(true);
    readChoice_ = PanUstawienia->choice();
    ApplyConnectionSettings();
    bool connected = false;
    try {
        connected = deviceInterface->Connect();
    } catch (...) {
        connected = false;
    }
    if (!connected) {
        showConnectionError(ConnectionFailureText(
            ConnectionFailure::fromLibraryAnswer(deviceInterface->GetParameter("error")), texts_));
        ReadStatus(qelscale::kAlibiNoAnswer);
        return;
    }
    tableFill_.start(texts_);
    const bool full = Panel1->fullReadBox()->isChecked();
    reads_->start(ReadSetup{texts_, formats_}, full ? ReadMode::Full : ReadMode::Automatic,
                  TArchiveControls::connectionText(readChoice_));
    paceWatch_->start(texts_, formats_);
}

void TMainForm::btnPrzerwijClick() {
    // While the archive's snapshot is awaited no dialogue runs yet: the line
    // can be let go at once.
    if (reads_->cancelStart()) {
        deviceInterface->Disconnect();
        showReadRunning(false);
        setReadState(ReadState::Stopped);
        StatusBar1->setProgress(0);
        return;
    }
    session_->stop();
}

// Without a connection kind there is nothing sound to read: the operator is
// shown the settings and asked to choose one.
bool TMainForm::askForConnectionKind() {
    if (PanUstawienia->choice().kind != ConnectionChoice::Kind::None) {
        return true;
    }
    PanUstawienia->show();
    ShowMessage(texts_.text(u"chooseConnection"));
    return false;
}

void TMainForm::showReadRunning(bool running) {
    Panel1->showReadRunning(running);
    if (!running) {
        paceWatch_->stop();
    }
}

void TMainForm::ApplyConnectionSettings() {
    if (!applyConnectionChoice(*deviceInterface, PanUstawienia->choice())) {
        ShowMessage(texts_.text(u"failDevSet"));
    }
}

void TMainForm::ReadProgress(int percent) {
    StatusBar1->setProgress(percent);
}

// The read's own ends: status 1 moves "reading" to "parse" and, after the
// fill, "parse" to "success"; status 2 is the error state.
void TMainForm::ReadStatus(int status) {
    switch (status) {
        case qelscale::kAlibiRecordsStored:
            if (readState_ == ReadState::Reading) {
                setReadState(ReadState::Parsing);
                StatusBar1->setProgress(0);
            } else if (readState_ == ReadState::Parsing) {
                setReadState(ReadState::Success);
                StatusBar1->setProgress(0);
            }
            break;
        case qelscale::kAlibiNoAnswer:
            EndReadInError();
            deviceInterface->Disconnect();
            break;
        default:
            break;
    }
}

void TMainForm::ShowDeviceInfo(const DeviceIdentity& identity) {
    PanUstawienia->showIdentity(identity.type, QString::number(identity.serialNumber),
                                identity.productionDate);
    tableFill_.setColumnLine(identity.recordHeader);
    if (!identity.recordHeader.isEmpty()) {
        Panel1->setRecordCount(QString::number(identity.recordCount));
        AlibiCount = identity.recordCount;
    }
}

void TMainForm::DefineRecordFields(const RecordLayout& layout) {
    tableFill_.defineFields(*ClientDataSet1, layout, texts_);
    windowMemory_->fitColumns();
}

void TMainForm::FillRecordTable(const std::shared_ptr<RecordBatch>& batch,
                                const ReadOutcome& outcome) {
    // One reset for all rows: the grid repaints once.
    if (outcome.tableFailed || !tableFill_.appendRows(*ClientDataSet1, std::move(*batch), texts_)) {
        EndReadInError();
        return;
    }
    windowMemory_->fitColumns();
    if (outcome.rowsKept() > 0 || outcome.end == ReadEnd::Complete) {
        Panel1->exportButton()->setEnabled(true);
    }
    showReadRunning(false);
    chbDataClick();
    if (outcome.end == ReadEnd::Silent) {
        endReadWithoutAnswer(&outcome);
        return;
    }
    if (outcome.end == ReadEnd::Stopped) {
        setReadState(ReadState::Stopped);
        StatusBar1->setProgress(0);
        return;
    }
    if (!outcome.isComplete()) {
        setReadState(ReadState::Incomplete);
        StatusBar1->setProgress(0);
        ReadEndMessages::showOutcome(this, outcome, texts_, formats_.locale());
        return;
    }
    ReadStatus(qelscale::kAlibiRecordsStored);
}

// An archived memory, browsed without a scale: the grid shows it as a read
// of it would have.
void TMainForm::ShowArchivedMemory(const ArchivedMemoryRows& rows) {
    if (!rows.problem.ok() || !rows.batch || rows.language != texts_.language() ||
        session_->isRunning() || reads_->isBusy()) {
        return;
    }
    tableFill_.start(texts_);
    ClientDataSet1->defineFields(rows.layout);
    PanUstawienia->showIdentity(rows.identity.type, QString::number(rows.identity.serialNumber),
                                rows.identity.productionDate);
    ReadOutcome whole;
    whole.announced = whole.received = static_cast<qint64>(rows.batch->rows.size());
    FillRecordTable(rows.batch, whole);
}

void TMainForm::EndReadInError() {
    setReadState(ReadState::Error);
    showReadRunning(false);
}

// A silent scale: the operator learns what to check, with the settings used.
void TMainForm::endReadWithoutAnswer(const ReadOutcome* outcome) {
    EndReadInError();
    ReadEndMessages::showNoAnswer(this, readChoice_, outcome, texts_, formats_.locale());
}

void TMainForm::setReadState(ReadState state) {
    readState_ = state;
    StatusBar1->setStateText(texts_.text(QLatin1String(readStateKey(state))));
}

QString TMainForm::stateText() const {
    return StatusBar1->stateText();
}

void TMainForm::showConnectionError(const QString& reason) {
    QMessageBox box(QMessageBox::Information, texts_.text(u"error"), texts_.text(u"connErr"),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("ConnectionMessage"));
    // Shown under the fixed text, so that the message still opens with it.
    box.setInformativeText(reason);
    box.exec();
}

void TMainForm::ShowMessage(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text,
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("ShowMessage"));
    box.exec();
}

// ---- filter and export -----------------------------------------------------

void TMainForm::chbDataClick() {
    if (!ClientDataSet1->isOpen()) {
        return;
    }
    const RecordFilter filter = buildRecordFilter(Panel1->inputs(), texts_, formats_);
    for (int i = 0; i < filter.invalidMassBounds; ++i) {
        ShowMessage(texts_.text(u"forbiddenCharInfo"));
    }
    filterExpression_ = filter.expression;
    DBGrid1->setToolTip(filter.expression);
    DBGrid1->viewport()->setToolTip(filter.expression);
    DataSource1->setCriteria(filter.criteria);
    countAwaitsPass_ = DataSource1->isPassPending();
    if (!countAwaitsPass_) {
        Panel1->setRecordCount(QString::number(DataSource1->rowCount()));
    }
}

void TMainForm::btnCsvExportClick() {
    grid_->exportShownRows(texts_);
}
