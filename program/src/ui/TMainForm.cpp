#include "TMainForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QStatusBar>
#include <QTableView>
#include <QTimeEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <iterator>

#include "ConnectionNames.h"
#include "CsvExport.h"
#include "Pictures.h"
#include "QELScale.h"
#include "RecordFilterProxy.h"
#include "RecordTableModel.h"
#include "ScaleLibrary.h"
#include "SettingsStore.h"
#include "TRadioGroup.h"
#include "TScaledImage.h"

namespace {

constexpr int kBaudRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

QByteArray toLibraryText(const QString& text) {
    return text.toUtf8();
}

QGroupBox* newGroup(QWidget* parent, const char* name, const QString& caption) {
    auto* group = new QGroupBox(caption, parent);
    group->setObjectName(QLatin1String(name));
    return group;
}

}  // namespace

TMainForm::TMainForm(const QStringList& librarySearchDirs, QWidget* parent) : QMainWindow(parent) {
    buildWindow();
    bindLibrary(librarySearchDirs);
    COM_group->hide();
    Ethernet_group->hide();
    addFixedListItems();
    ReadStoredSettings();
    RefreshPortLists();
    ENG->setIcon(Pictures::flag(0));
    PL->setIcon(Pictures::flag(1));
    ApplyLanguage();
    connectHandlers();
    setDisplayFormats(formats_);
    FormCreate();
}

TMainForm::~TMainForm() = default;

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
    column->addWidget(buildFilterPanel());
    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(buildSettingsPanel());
    buildGrid();
    body->addWidget(DBGrid1, 1);
    column->addLayout(body, 1);
    setCentralWidget(central);
    buildStatusBar();
}

QLabel* TMainForm::addLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

// A labelled edit: the label is a QLabel named after the edit plus "Label",
// with the edit as its buddy.
QLineEdit* TMainForm::addLabeledEdit(QWidget* parent, const char* name, const QString& label) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    auto* caption = new QLabel(label, parent);
    caption->setObjectName(QLatin1String(name) + QLatin1String("Label"));
    caption->setBuddy(edit);
    return edit;
}

QWidget* TMainForm::buildFilterPanel() {
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(145);
    auto* panelLayout = new QHBoxLayout(Panel1);
    panelLayout->setContentsMargins(2, 2, 2, 2);

    GroupBox2 = newGroup(Panel1, "GroupBox2", QStringLiteral(" Filtrowanie rekordów: "));
    GroupBox2->setAutoFillBackground(true);
    QPalette white = GroupBox2->palette();
    white.setColor(QPalette::Window, Qt::white);
    GroupBox2->setPalette(white);
    panelLayout->addWidget(GroupBox2);
    auto* grid = new QGridLayout(GroupBox2);
    grid->setContentsMargins(6, 2, 6, 4);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);

    // Date and time.
    gbDataCzas = newGroup(GroupBox2, "gbDataCzas", QStringLiteral("Data i czas:"));
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
    grid->addWidget(gbDataCzas, 0, 0);

    // Mass: the field to compare and its bounds.
    auto* massColumn = new QVBoxLayout;
    massColumn->setSpacing(2);
    rgMasa = new TRadioGroup(3, GroupBox2);
    rgMasa->setObjectName(QStringLiteral("rgMasa"));
    rgMasa->setTitle(QStringLiteral(" Masa: "));
    rgMasa->setItems({QStringLiteral("Netto"), QStringLiteral("Brutto"), QStringLiteral("Tara")});
    rgMasa->setItemIndex(0);
    gbMasa = newGroup(GroupBox2, "gbMasa", QString());
    auto* massBounds = new QHBoxLayout(gbMasa);
    massBounds->setContentsMargins(4, 2, 4, 2);
    leMasaOd = addLabeledEdit(gbMasa, "leMasaOd", QStringLiteral("od"));
    leMasaDo = addLabeledEdit(gbMasa, "leMasaDo", QStringLiteral("do"));
    for (QLineEdit* edit : {leMasaOd, leMasaDo}) {
        edit->setFixedWidth(54);
        massBounds->addWidget(
            gbMasa->findChild<QLabel*>(edit->objectName() + QLatin1String("Label")));
        massBounds->addWidget(edit);
    }
    massColumn->addWidget(rgMasa);
    massColumn->addWidget(gbMasa);
    grid->addLayout(massColumn, 0, 1);

    // Record numbers.
    GroupBox4 = newGroup(GroupBox2, "GroupBox4", QStringLiteral("RecID:"));
    auto* ids = new QGridLayout(GroupBox4);
    ids->setContentsMargins(4, 2, 4, 2);
    leIDod = addLabeledEdit(GroupBox4, "leIDod", QStringLiteral("od"));
    leIDdo = addLabeledEdit(GroupBox4, "leIDdo", QStringLiteral("do"));
    int idRow = 0;
    for (QLineEdit* edit : {leIDod, leIDdo}) {
        edit->setFixedWidth(54);
        ids->addWidget(GroupBox4->findChild<QLabel*>(edit->objectName() + QLatin1String("Label")),
                       idRow, 0);
        ids->addWidget(edit, idRow++, 1);
    }
    grid->addWidget(GroupBox4, 0, 2);

    // Product and user.
    GroupBox3 = newGroup(GroupBox2, "GroupBox3", QStringLiteral(" Bazy danych: "));
    auto* databases = new QGridLayout(GroupBox3);
    databases->setContentsMargins(4, 0, 4, 2);
    databases->setVerticalSpacing(0);
    leProdukt = addLabeledEdit(GroupBox3, "leProdukt", QStringLiteral("Produkt:"));
    leUzytkownik = addLabeledEdit(GroupBox3, "leUzytkownik", QStringLiteral("Użytkownik:"));
    leProdukt->setFixedWidth(70);
    leUzytkownik->setFixedWidth(70);
    databases->addWidget(GroupBox3->findChild<QLabel*>(QStringLiteral("leProduktLabel")), 0, 0);
    databases->addWidget(leProdukt, 1, 0);
    databases->addWidget(GroupBox3->findChild<QLabel*>(QStringLiteral("leUzytkownikLabel")), 0, 1);
    databases->addWidget(leUzytkownik, 1, 1);
    grid->addWidget(GroupBox3, 0, 3);

    // Buttons along the bottom, the count to their right.
    auto* bottom = new QHBoxLayout;
    btnUstawienia = new QPushButton(QStringLiteral("Ustawienia"), GroupBox2);
    btnUstawienia->setObjectName(QStringLiteral("btnUstawienia"));
    btnOdczytaj = new QPushButton(QStringLiteral("Odczytaj"), GroupBox2);
    btnOdczytaj->setObjectName(QStringLiteral("btnOdczytaj"));
    btnCsvExport = new QPushButton(QStringLiteral("Export do CSV"), GroupBox2);
    btnCsvExport->setObjectName(QStringLiteral("btnCsvExport"));
    btnCsvExport->setEnabled(false);
    for (QPushButton* button : {btnUstawienia, btnOdczytaj, btnCsvExport}) {
        button->setMinimumWidth(92);
        bottom->addWidget(button);
    }
    bottom->addStretch(1);
    Label5 = addLabel(GroupBox2, "Label5", QStringLiteral("Liczba znalezionych rekordów:"));
    Label5->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lbLiczbaRekordow = addLabel(GroupBox2, "lbLiczbaRekordow", QStringLiteral("---"));
    QFont bold = lbLiczbaRekordow->font();
    bold.setBold(true);
    lbLiczbaRekordow->setFont(bold);
    lbLiczbaRekordow->setMinimumWidth(60);
    bottom->addWidget(Label5);
    bottom->addWidget(lbLiczbaRekordow);
    grid->addLayout(bottom, 1, 0, 1, 4);

    Image1 = new TScaledImage(Pictures::scaleLogo(), GroupBox2);
    Image1->setObjectName(QStringLiteral("Image1"));
    grid->addWidget(Image1, 0, 5, 2, 1);
    grid->setColumnStretch(4, 1);
    return Panel1;
}

QWidget* TMainForm::buildSettingsPanel() {
    // The panel scrolls rather than stretch the window when a font or a
    // style makes its contents taller than the grid beside it.
    auto* panel = new QScrollArea(this);
    PanUstawienia = panel;
    PanUstawienia->setObjectName(QStringLiteral("PanUstawienia"));
    PanUstawienia->setFixedWidth(202);
    panel->setFrameShape(QFrame::NoFrame);
    panel->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    panel->setWidgetResizable(true);
    auto* content = new QWidget(panel);
    content->setObjectName(QStringLiteral("PanUstawieniaContent"));
    content->setAutoFillBackground(true);
    QPalette white = content->palette();
    white.setColor(QPalette::Window, Qt::white);
    content->setPalette(white);
    panel->setWidget(content);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(4, 4, 4, 4);
    column->setSpacing(4);

    GroupBox1 = newGroup(content, "GroupBox1", QStringLiteral(" Informacje o urządzeniu: "));
    auto* identity = new QGridLayout(GroupBox1);
    Label1 = addLabel(GroupBox1, "Label1", QStringLiteral("Typ:"));
    lbTyp = addLabel(GroupBox1, "lbTyp", QStringLiteral("---"));
    Label2 = addLabel(GroupBox1, "Label2", QStringLiteral("Nr seryjny:"));
    lbNrSeryjny = addLabel(GroupBox1, "lbNrSeryjny", QStringLiteral("---"));
    Label3 = addLabel(GroupBox1, "Label3", QStringLiteral("Data produkcji:"));
    lbDataProdukcji = addLabel(GroupBox1, "lbDataProdukcji", QStringLiteral("---"));
    int row = 0;
    for (auto [caption, value] : {std::pair{Label1, lbTyp}, std::pair{Label2, lbNrSeryjny},
                                  std::pair{Label3, lbDataProdukcji}}) {
        QFont bold = value->font();
        bold.setBold(true);
        value->setFont(bold);
        identity->addWidget(caption, row, 0);
        identity->addWidget(value, row++, 1);
    }
    column->addWidget(GroupBox1);

    auto* flags = new QHBoxLayout;
    PL = new QToolButton(content);
    PL->setObjectName(QStringLiteral("PL"));
    ENG = new QToolButton(content);
    ENG->setObjectName(QStringLiteral("ENG"));
    for (QToolButton* flag : {PL, ENG}) {
        flag->setFixedSize(41, 24);
        flag->setIconSize(QSize(32, 32));
        flag->setToolButtonStyle(Qt::ToolButtonIconOnly);
        flags->addWidget(flag);
    }
    flags->addStretch(1);
    column->addLayout(flags);

    Polaczenie = newGroup(content, "Polaczenie", QStringLiteral("Połączenie"));
    auto* connection = new QVBoxLayout(Polaczenie);
    Rodzaj = newGroup(Polaczenie, "Rodzaj", QStringLiteral("Rodzaj"));
    auto* kinds = new QGridLayout(Rodzaj);
    kinds->setContentsMargins(6, 2, 6, 2);
    COM = new QRadioButton(QStringLiteral("COM"), Rodzaj);
    COM->setObjectName(QStringLiteral("COM"));
    USB = new QRadioButton(QStringLiteral("USB"), Rodzaj);
    USB->setObjectName(QStringLiteral("USB"));
    Eth = new QRadioButton(QStringLiteral("Ethernet"), Rodzaj);
    Eth->setObjectName(QStringLiteral("Eth"));
    kinds->addWidget(COM, 0, 0);
    kinds->addWidget(USB, 0, 1);
    kinds->addWidget(Eth, 1, 0, 1, 2);
    connection->addWidget(Rodzaj);

    COM_group = newGroup(Polaczenie, "COM_group", QStringLiteral("COM"));
    auto* line = new QGridLayout(COM_group);
    Label4 = addLabel(COM_group, "Label4", QStringLiteral("Port"));
    availCom = new QComboBox(COM_group);
    availCom->setObjectName(QStringLiteral("availCom"));
    // A typed device path (/dev/serial/by-id/...) is allowed.
    availCom->setEditable(true);
    availCom->setInsertPolicy(QComboBox::NoInsert);
    availCom->hide();
    availUSB = new QComboBox(COM_group);
    availUSB->setObjectName(QStringLiteral("availUSB"));
    Label6 = addLabel(COM_group, "Label6", QStringLiteral("Prędkość"));
    baudRate = new QComboBox(COM_group);
    baudRate->setObjectName(QStringLiteral("baudRate"));
    Label7 = addLabel(COM_group, "Label7", QStringLiteral("Ilość bitów"));
    bits = new QComboBox(COM_group);
    bits->setObjectName(QStringLiteral("bits"));
    Label8 = addLabel(COM_group, "Label8", QStringLiteral("Parzystość"));
    parity = new QComboBox(COM_group);
    parity->setObjectName(QStringLiteral("parity"));
    line->addWidget(Label4, 0, 0);
    line->addWidget(availCom, 0, 1);
    line->addWidget(availUSB, 0, 1);
    line->addWidget(Label6, 1, 0);
    line->addWidget(baudRate, 1, 1);
    line->addWidget(Label7, 2, 0);
    line->addWidget(bits, 2, 1);
    line->addWidget(Label8, 3, 0);
    line->addWidget(parity, 3, 1);
    line->setColumnStretch(1, 1);
    connection->addWidget(COM_group);

    Ethernet_group = newGroup(Polaczenie, "Ethernet_group", QStringLiteral("Ethernet"));
    auto* network = new QGridLayout(Ethernet_group);
    Label9 = addLabel(Ethernet_group, "Label9", QStringLiteral("Adres IP"));
    ip = new QLineEdit(QStringLiteral("192.168.1.75"), Ethernet_group);
    ip->setObjectName(QStringLiteral("ip"));
    Label10 = addLabel(Ethernet_group, "Label10", QStringLiteral("Port"));
    port = new QLineEdit(QStringLiteral("1001"), Ethernet_group);
    port->setObjectName(QStringLiteral("port"));
    port->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), port));
    network->addWidget(Label9, 0, 0);
    network->addWidget(ip, 0, 1);
    network->addWidget(Label10, 1, 0);
    network->addWidget(port, 1, 1);
    connection->addWidget(Ethernet_group);

    Zastosuj = new QPushButton(QStringLiteral("Zapisz Ustawienia"), Polaczenie);
    Zastosuj->setObjectName(QStringLiteral("Zastosuj"));
    connection->addWidget(Zastosuj);
    column->addWidget(Polaczenie);

    btnRefresh = new QPushButton(QStringLiteral("Wykryj porty COM i USB"), content);
    btnRefresh->setObjectName(QStringLiteral("btnRefresh"));
    column->addWidget(btnRefresh);
    column->addStretch(1);
    PanUstawienia->hide();
    return PanUstawienia;
}

void TMainForm::buildGrid() {
    ClientDataSet1 = new RecordTableModel(this);
    ClientDataSet1->setObjectName(QStringLiteral("ClientDataSet1"));
    DataSource1 = new RecordFilterProxy(ClientDataSet1, this);
    DataSource1->setObjectName(QStringLiteral("DataSource1"));
    DBGrid1 = new QTableView(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setModel(DataSource1);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setTabKeyNavigation(true);
    DBGrid1->setShowGrid(true);
    DBGrid1->setWordWrap(false);
    DBGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QHeaderView* titles = DBGrid1->horizontalHeader();
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setSectionsClickable(true);
    titles->setHighlightSections(true);
    titles->setSectionsMovable(false);
    titles->setDefaultSectionSize(90);
    // Column widths follow the rows on screen, not all of a million.
    titles->setResizeContentsPrecision(100);
    // Unsorted until the operator clicks a title: rows in arrival order.
    titles->setSortIndicator(-1, Qt::AscendingOrder);
    DBGrid1->setSortingEnabled(true);
    QHeaderView* indicator = DBGrid1->verticalHeader();
    // Fixed row heights keep a grid of a million rows fast.
    indicator->setSectionResizeMode(QHeaderView::Fixed);
    indicator->setDefaultSectionSize(DBGrid1->fontMetrics().height() + 4);
    formats_ = DisplayFormats();
    ClientDataSet1->setDisplayFormats(formats_);
}

void TMainForm::buildStatusBar() {
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(StatusBar1);
    // Panel 0 holds the state text; the progress bar takes panel 1's place,
    // so it follows the panel when the window is resized.
    statePanel = new QLabel(StatusBar1);
    statePanel->setObjectName(QStringLiteral("StatusPanel0"));
    statePanel->setFixedWidth(70);
    statePanel->setFrameShape(QFrame::Panel);
    statePanel->setFrameShadow(QFrame::Sunken);
    StatusBar1->addWidget(statePanel);
    ProgressBar1 = new QProgressBar(StatusBar1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    StatusBar1->addWidget(ProgressBar1, 1);
    StatusBar1->setSizeGripEnabled(false);

    SaveCSVDialog = new QFileDialog(this);
    SaveCSVDialog->setObjectName(QStringLiteral("SaveCSVDialog"));
    SaveCSVDialog->setNameFilter(QStringLiteral("csv (*.csv)"));
    SaveCSVDialog->setFileMode(QFileDialog::AnyFile);
    SaveCSVDialog->setAcceptMode(QFileDialog::AcceptSave);
    SaveCSVDialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    SaveCSVDialog->setOption(QFileDialog::DontUseNativeDialog, true);
}

void TMainForm::connectHandlers() {
    connect(btnOdczytaj, &QPushButton::clicked, this, &TMainForm::btnOdczytajClick);
    connect(btnUstawienia, &QPushButton::clicked, this, &TMainForm::btnUstawieniaClick);
    connect(btnRefresh, &QPushButton::clicked, this, &TMainForm::btnRefreshClick);
    connect(btnCsvExport, &QPushButton::clicked, this, &TMainForm::btnCsvExportClick);
    connect(COM, &QRadioButton::clicked, this, &TMainForm::COMClick);
    connect(USB, &QRadioButton::clicked, this, &TMainForm::USBClick);
    connect(Eth, &QRadioButton::clicked, this, &TMainForm::EthClick);
    connect(PL, &QToolButton::clicked, this, &TMainForm::PLClick);
    connect(ENG, &QToolButton::clicked, this, &TMainForm::ENGClick);
    connect(Zastosuj, &QPushButton::clicked, this, &TMainForm::ZastosujClick);

    connect(rgMasa, &TRadioGroup::clicked, this, &TMainForm::chbDataClick);
    connect(chbDataOd, &QCheckBox::clicked, this, &TMainForm::chbDataClick);
    connect(chbDataDo, &QCheckBox::clicked, this, &TMainForm::chbDataClick);
    for (QLineEdit* edit : {leMasaOd, leMasaDo, leUzytkownik, leProdukt, leIDod, leIDdo}) {
        connect(edit, &QLineEdit::textChanged, this, &TMainForm::chbDataClick);
    }
    for (QDateEdit* date : {dtpDataOd, dtpDataDo}) {
        connect(date, &QDateEdit::dateChanged, this, &TMainForm::chbDataClick);
    }
    for (QTimeEdit* time : {dtpCzasOd, dtpCzasDo}) {
        connect(time, &QTimeEdit::timeChanged, this, &TMainForm::chbDataClick);
    }
    // Sorting changes what the grid shows, not how many rows pass.
    connect(DataSource1, &QAbstractItemModel::modelReset, this, [this] {
        DBGrid1->horizontalHeader()->setSortIndicatorShown(DataSource1->sortColumn() >= 0);
    });

    connect(session_.get(), &AlibiReadSession::progressChanged, this, &TMainForm::ReadProgress);
    connect(session_.get(), &AlibiReadSession::identityReceived, this, &TMainForm::ShowDeviceInfo);
    connect(session_.get(), &AlibiReadSession::fieldsDefined, this, &TMainForm::DefineRecordFields);
    connect(session_.get(), &AlibiReadSession::columnLineMissing, this, [this] {
        showConnectionError();
        EndReadInError();
    });
    // The definition starts by closing the table; a failed one leaves it closed.
    connect(session_.get(), &AlibiReadSession::tableFailed, this, [this] {
        ClientDataSet1->closeTable();
        EndReadInError();
    });
    connect(session_.get(), &AlibiReadSession::parsingStarted, this, [this] { ReadStatus(1); });
    connect(session_.get(), &AlibiReadSession::recordsCopied, this, &TMainForm::FillRecordTable);
    connect(session_.get(), &AlibiReadSession::libraryFailed, this, &TMainForm::EndReadInError);
    connect(session_.get(), &AlibiReadSession::silenceTimedOut, this, &TMainForm::EndReadInError);
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
}

void TMainForm::addFixedListItems() {
    parity->addItems({QStringLiteral("Even"), QStringLiteral("Odd"), QStringLiteral("None")});
    bits->addItems({QStringLiteral("7"), QStringLiteral("8")});
    for (int i = static_cast<int>(std::size(kBaudRates)) - 1; i >= 0; --i) {
        baudRate->addItem(QString::number(kBaudRates[i]));
    }
    for (QComboBox* list : {parity, bits, baudRate, availUSB}) {
        list->setCurrentIndex(-1);
    }
}

void TMainForm::ReadStoredSettings() {
    SettingsStore store;
    if (store.exists()) {
        const StoredConnection stored = store.readConnection();
        SavedComPort = ConnectionNames::comPortFromStored(stored.comPort);
        SavedComBaud = stored.comBaudrate;
        SavedComParity = stored.comParity;
        SavedComBits = stored.comBits;
        ip->setText(stored.ethIp);
        port->setText(stored.ethPort);
        SavedUsbDevice = ConnectionNames::usbDeviceFromStored(stored.usbDevice);
        SavedUsbBaud = stored.usbBaud;
        SavedUsbBits = stored.usbBits;
        SavedUsbParity = stored.usbParity;
        if (stored.lastUsed == QLatin1String("COM")) {
            COM->setChecked(true);
            COMClick();
        } else if (stored.lastUsed == QLatin1String("USB")) {
            USB->setChecked(true);
            USBClick();
        } else if (stored.lastUsed == QLatin1String("Ethernet")) {
            Eth->setChecked(true);
            EthClick();
        }
    } else {
        availCom->addItems(
            ConnectionNames::comPortsFromAnswer(deviceInterface->GetParameter("comports")));
    }
    selectItem(availCom, SavedComPort);
    selectItem(availUSB, SavedUsbDevice);
}

void TMainForm::FormCreate() {
    const QDate today = QDate::currentDate();
    dtpDataOd->setDate(today);
    dtpCzasOd->setTime(QTime(0, 0));
    dtpDataDo->setDate(today.addDays(1));
    dtpCzasDo->setTime(QTime(0, 0));
}

void TMainForm::setDisplayFormats(const DisplayFormats& formats) {
    formats_ = formats;
    ClientDataSet1->setDisplayFormats(formats);
    for (QDateEdit* date : {dtpDataOd, dtpDataDo}) {
        date->setDisplayFormat(formats.shortDateFormat());
    }
    for (QTimeEdit* time : {dtpCzasOd, dtpCzasDo}) {
        time->setDisplayFormat(formats.longTimeFormat());
    }
}

// ---- language --------------------------------------------------------------

void TMainForm::ApplyLanguage() {
    ClientDataSet1->closeTable();
    SettingsStore store;
    store.ensureExists();
    texts_.setLanguage(LanguageTexts::fromStoredName(store.language()));
    applyCaptions();
    for (QLabel* label : {lbLiczbaRekordow, lbTyp, lbDataProdukcji, lbNrSeryjny}) {
        label->setText(QStringLiteral("---"));
    }
}

void TMainForm::applyCaptions() {
    auto t = [this](const char* key) { return texts_.text(QLatin1String(key)); };
    auto labelOf = [this](QLineEdit* edit) {
        return findChild<QLabel*>(edit->objectName() + QLatin1String("Label"));
    };
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
    btnCsvExport->setText(t("exportToCSV"));
    labelOf(leIDdo)->setText(t("to"));
    labelOf(leIDod)->setText(t("from"));
    GroupBox1->setTitle(t("devInfo"));
    Polaczenie->setTitle(t("conn"));
    Rodzaj->setTitle(t("connKinds"));
    Label1->setText(t("type"));
    Label2->setText(t("nrSer"));
    Label3->setText(t("prodDate"));
    Label6->setText(t("baudrate"));
    Label7->setText(t("bits"));
    Label8->setText(t("parity"));
    Label9->setText(t("ipAdrr"));
    Zastosuj->setText(t("saveSet"));
    btnRefresh->setText(t("refresh"));
}

void TMainForm::SaveLanguage(const QString& language) {
    SettingsStore().saveLanguage(language);
}

void TMainForm::PLClick() {
    SaveLanguage(LanguageTexts::storedName(Language::Polish));
    ApplyLanguage();
}

void TMainForm::ENGClick() {
    SaveLanguage(LanguageTexts::storedName(Language::English));
    ApplyLanguage();
}

// ---- settings panel and ports -----------------------------------------------

void TMainForm::btnUstawieniaClick() {
    PanUstawienia->setVisible(PanUstawienia->isHidden());
}

void TMainForm::COMClick() {
    COM_group->setTitle(QStringLiteral("COM"));
    COM_group->show();
    availUSB->hide();
    availCom->show();
    Ethernet_group->hide();
    selectItem(bits, SavedComBits);
    selectItem(parity, SavedComParity);
    selectItem(baudRate, SavedComBaud);
}

void TMainForm::USBClick() {
    COM_group->setTitle(QStringLiteral("USB"));
    COM_group->show();
    availUSB->show();
    availCom->hide();
    Ethernet_group->hide();
    selectItem(baudRate, SavedUsbBaud);
    selectItem(bits, SavedUsbBits);
    selectItem(parity, SavedUsbParity);
}

void TMainForm::EthClick() {
    COM_group->hide();
    Ethernet_group->show();
}

// Selects the item equal to the text, or none. The editable port list keeps a
// device path that the library does not list, since Linux users often name
// their port by a stable path (/dev/serial/by-id/...).
void TMainForm::selectItem(QComboBox* list, const QString& text) {
    const int index = text.isEmpty() ? -1 : list->findText(text, Qt::MatchExactly);
    list->setCurrentIndex(index);
    if (list->isEditable()) {
        const bool keepTyped = index < 0 && ConnectionNames::isDevicePath(text);
        list->setEditText(index >= 0 ? list->itemText(index) : (keepTyped ? text : QString()));
    }
}

void TMainForm::btnRefreshClick() {
    RefreshPortLists();
}

void TMainForm::RefreshPortLists() {
    // A read in progress uses the device's transport, which a change of the
    // connection kind would destroy under it.
    if (session_->isRunning()) {
        return;
    }
    session_->stopPreviousListener();
    // The lists' choices become the saved ones. A list that shows nothing (at
    // start, before its first filling) keeps the stored choice, so that a
    // stored port is selected again once the refreshed list holds it.
    if (!availCom->currentText().isEmpty()) {
        SavedComPort = availCom->currentText();
    }
    if (!availUSB->currentText().isEmpty()) {
        SavedUsbDevice = availUSB->currentText();
    }
    availUSB->clear();
    availCom->clear();
    try {
        deviceInterface->SetConnectionKind(1);
        availUSB->addItems(
            ConnectionNames::usbDevicesFromCount(deviceInterface->GetParameter("count")));
    } catch (...) {
        availUSB->clear();
    }
    deviceInterface->SetConnectionKind(0);
    availCom->addItems(
        ConnectionNames::comPortsFromAnswer(deviceInterface->GetParameter("comports")));
    selectItem(availCom, SavedComPort);
    selectItem(availUSB, SavedUsbDevice);
}

void TMainForm::ZastosujClick() {
    QList<QPair<QString, QString>> values;
    if (COM->isChecked()) {
        values = {
            {QStringLiteral("Last Used"), QStringLiteral("COM")},
            {QStringLiteral("COM_port"), ConnectionNames::comStoredValue(availCom->currentText())},
            {QStringLiteral("COM_baudrate"), baudRate->currentText()},
            {QStringLiteral("COM_parity"), parity->currentText()},
            {QStringLiteral("COM_bits"), bits->currentText()}};
    } else if (USB->isChecked()) {
        values = {{QStringLiteral("Last Used"), QStringLiteral("USB")},
                  {QStringLiteral("USB_device"),
                   ConnectionNames::usbStoredValue(availUSB->currentText())},
                  {QStringLiteral("USB_baud"), baudRate->currentText()},
                  {QStringLiteral("USB_parity"), parity->currentText()},
                  {QStringLiteral("USB_bits"), bits->currentText()}};
    } else if (Eth->isChecked()) {
        values = {{QStringLiteral("Last Used"), QStringLiteral("Ethernet")},
                  {QStringLiteral("Eth_ip"), ip->text()},
                  {QStringLiteral("Eth_port"), port->text()}};
    }
    if (values.isEmpty()) {
        return;
    }
    if (!SettingsStore().setValues(values)) {
        ShowMessage(texts_.text(u"failRegSave"));
    }
}

// ---- reading ---------------------------------------------------------------

void TMainForm::btnOdczytajClick() {
    if (session_->isRunning()) {
        return;
    }
    // A listener still winding down must not see its transport replaced.
    session_->stopPreviousListener();
    AlibiCount = 0;
    setReadState(ReadState::Reading);
    btnOdczytaj->setEnabled(false);
    ApplyConnectionSettings();
    bool connected = false;
    try {
        connected = deviceInterface->Connect();
    } catch (...) {
        connected = false;
    }
    if (!connected) {
        showConnectionError();
        ReadStatus(2);
        return;
    }
    readLanguage_ = texts_.language();
    session_->start(ReadSetup{texts_, formats_});
}

void TMainForm::ApplyConnectionSettings() {
    auto set = [this](const char* key, const QString& value) {
        deviceInterface->SetParameter(key, toLibraryText(value).constData());
    };
    try {
        if (COM->isChecked()) {
            deviceInterface->SetConnectionKind(0);
            set("COM", ConnectionNames::comParameter(availCom->currentText()));
            set("parity", ConnectionNames::parityLetter(parity->currentText()));
            set("bits", bits->currentText());
            set("baud", baudRate->currentText());
        } else if (USB->isChecked()) {
            deviceInterface->SetConnectionKind(1);
            set("device", ConnectionNames::usbParameter(availUSB->currentText()));
            set("baud", baudRate->currentText());
            set("bits", bits->currentText());
            set("parity", ConnectionNames::parityLetter(parity->currentText()));
        } else if (Eth->isChecked()) {
            deviceInterface->SetConnectionKind(2);
            set("ip", ip->text());
            set("port", port->text());
        }
    } catch (...) {
        ShowMessage(texts_.text(u"failDevSet"));
    }
}

void TMainForm::ReadProgress(int percent) {
    ProgressBar1->setValue(percent);
}

// The read's own ends: status 1 moves "reading" to "parse" and, after the
// fill, "parse" to "success"; status 2 is the error state.
void TMainForm::ReadStatus(int status) {
    switch (status) {
        case 1:
            if (readState_ == ReadState::Reading) {
                setReadState(ReadState::Parsing);
                ProgressBar1->setValue(0);
            } else if (readState_ == ReadState::Parsing) {
                setReadState(ReadState::Success);
                ProgressBar1->setValue(0);
            }
            break;
        case 2:
            EndReadInError();
            deviceInterface->Disconnect();
            break;
        default:
            break;
    }
}

void TMainForm::ShowDeviceInfo(const DeviceIdentity& identity) {
    lbTyp->setText(identity.type);
    lbDataProdukcji->setText(identity.productionDate);
    lbNrSeryjny->setText(QString::number(identity.serialNumber));
    if (!identity.recordHeader.isEmpty()) {
        lbLiczbaRekordow->setText(QString::number(identity.recordCount));
        AlibiCount = identity.recordCount;
    }
}

void TMainForm::DefineRecordFields(const RecordLayout& layout) {
    // A language switch during the read emptied the table; fields named in
    // the other language must not come back with this read's rows.
    if (readLanguage_ != texts_.language()) {
        return;
    }
    ClientDataSet1->defineFields(layout);
    DBGrid1->resizeColumnsToContents();
}

void TMainForm::FillRecordTable(const std::shared_ptr<RecordBatch>& batch, bool complete) {
    // One reset for all rows: the grid repaints once.
    ClientDataSet1->appendRows(std::move(*batch));
    if (!complete) {
        EndReadInError();
        return;
    }
    DBGrid1->resizeColumnsToContents();
    btnCsvExport->setEnabled(true);
    btnOdczytaj->setEnabled(true);
    chbDataClick();
    ReadStatus(1);
}

void TMainForm::EndReadInError() {
    setReadState(ReadState::Error);
    btnOdczytaj->setEnabled(true);
}

void TMainForm::setReadState(ReadState state) {
    readState_ = state;
    const char* key = "";
    switch (state) {
        case ReadState::Reading:
            key = "reading";
            break;
        case ReadState::Parsing:
            key = "parse";
            break;
        case ReadState::Success:
            key = "success";
            break;
        case ReadState::Error:
            key = "error";
            break;
        case ReadState::None:
            break;
    }
    statePanel->setText(texts_.text(QLatin1String(key)));
}

QString TMainForm::stateText() const {
    return statePanel->text();
}

void TMainForm::showConnectionError() {
    QMessageBox box(QMessageBox::Information, texts_.text(u"error"), texts_.text(u"connErr"),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("ConnectionMessage"));
    box.exec();
}

void TMainForm::ShowMessage(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text,
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("ShowMessage"));
    box.exec();
}

// ---- filter and export -----------------------------------------------------

FilterInputs TMainForm::filterInputs() const {
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

void TMainForm::chbDataClick() {
    if (!ClientDataSet1->isOpen()) {
        return;
    }
    const RecordFilter filter = buildRecordFilter(filterInputs(), texts_, formats_);
    for (int i = 0; i < filter.invalidMassBounds; ++i) {
        ShowMessage(texts_.text(u"forbiddenCharInfo"));
    }
    filterExpression_ = filter.expression;
    DBGrid1->setToolTip(filter.expression);
    DBGrid1->viewport()->setToolTip(filter.expression);
    DataSource1->setCriteria(filter.criteria);
    lbLiczbaRekordow->setText(QString::number(DataSource1->rowCount()));
}

void TMainForm::btnCsvExportClick() {
    // A closed table (after a language switch) shows no columns: nothing to write.
    if (!ClientDataSet1->isOpen()) {
        return;
    }
    if (SaveCSVDialog->exec() != QDialog::Accepted) {
        return;
    }
    const QStringList chosen = SaveCSVDialog->selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) {
        return;
    }
    const QString path = csvFileNameFor(chosen.first());
    const CsvExportResult result = ExportGridToCsv(*DataSource1, *ClientDataSet1, path);
    if (!result.ok) {
        QMessageBox box(QMessageBox::Warning, texts_.text(u"error"),
                        path + QLatin1String("\n") + result.error, QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("ExportMessage"));
        box.exec();
    }
}
