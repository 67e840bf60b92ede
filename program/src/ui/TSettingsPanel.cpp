#include "TSettingsPanel.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>
#include <iterator>

#include "ConnectionNames.h"
#include "NamedWidgets.h"
#include "QELScale.h"
#include "TArchiveGroup.h"
#include "TLabelledList.h"

using NamedWidgets::group;
using NamedWidgets::label;

namespace {

QComboBox* newList(QWidget* parent, const char* name) {
    auto* list = new TLabelledList(parent);
    list->setObjectName(QLatin1String(name));
    return list;
}

}  // namespace

TSettingsPanel::TSettingsPanel(QWidget* parent) : QScrollArea(parent) {
    setObjectName(QStringLiteral("PanUstawienia"));
    setFixedWidth(202);
    // The panel scrolls rather than stretch the window when a font or a
    // style makes its contents taller than the grid beside it.
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    // The controls inside take the focus; a stop on the scroll area itself
    // would be an unnamed, useless one.
    setFocusPolicy(Qt::NoFocus);
    setWidget(buildContent());
    linkLabels();
    COM_group->hide();
    Ethernet_group->hide();
    addFixedListItems();
    connectControls();
    hide();
}

QWidget* TSettingsPanel::buildContent() {
    auto* content = new QWidget(this);
    content->setObjectName(QStringLiteral("PanUstawieniaContent"));
    NamedWidgets::fillWhite(content);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(4, 4, 4, 4);
    column->setSpacing(4);
    column->addWidget(buildIdentity(content));

    auto* flags = new QHBoxLayout;
    PL = new QToolButton(content);
    PL->setObjectName(QStringLiteral("PL"));
    ENG = new QToolButton(content);
    ENG->setObjectName(QStringLiteral("ENG"));
    // Each language is named in itself: whoever cannot read the other one
    // finds their own.
    PL->setAccessibleName(QStringLiteral("Polski"));
    PL->setToolTip(QStringLiteral("Polski"));
    ENG->setAccessibleName(QStringLiteral("English"));
    ENG->setToolTip(QStringLiteral("English"));
    for (QToolButton* flag : {PL, ENG}) {
        flag->setFixedSize(41, 24);
        flag->setIconSize(QSize(32, 32));
        flag->setToolButtonStyle(Qt::ToolButtonIconOnly);
        flags->addWidget(flag);
    }
    flags->addStretch(1);
    column->addLayout(flags);

    column->addWidget(buildConnection(content));
    btnRefresh = new QPushButton(QStringLiteral("Wykryj porty COM i USB"), content);
    btnRefresh->setObjectName(QStringLiteral("btnRefresh"));
    column->addWidget(btnRefresh);
    gbArchiwum = new TArchiveGroup(content);
    column->addWidget(gbArchiwum);
    column->addStretch(1);
    return content;
}

QGroupBox* TSettingsPanel::buildIdentity(QWidget* parent) {
    GroupBox1 = group(parent, "GroupBox1", QStringLiteral(" Informacje o urządzeniu: "));
    auto* identity = new QGridLayout(GroupBox1);
    Label1 = label(GroupBox1, "Label1", QStringLiteral("Typ:"));
    lbTyp = label(GroupBox1, "lbTyp", QStringLiteral("---"));
    Label2 = label(GroupBox1, "Label2", QStringLiteral("Nr seryjny:"));
    lbNrSeryjny = label(GroupBox1, "lbNrSeryjny", QStringLiteral("---"));
    Label3 = label(GroupBox1, "Label3", QStringLiteral("Data produkcji:"));
    lbDataProdukcji = label(GroupBox1, "lbDataProdukcji", QStringLiteral("---"));
    int row = 0;
    for (auto [caption, value] : {std::pair{Label1, lbTyp}, std::pair{Label2, lbNrSeryjny},
                                  std::pair{Label3, lbDataProdukcji}}) {
        NamedWidgets::makeBold(value);
        identity->addWidget(caption, row, 0);
        identity->addWidget(value, row++, 1);
    }
    return GroupBox1;
}

QGroupBox* TSettingsPanel::buildConnection(QWidget* parent) {
    Polaczenie = group(parent, "Polaczenie", QStringLiteral("Połączenie"));
    auto* connection = new QVBoxLayout(Polaczenie);
    Rodzaj = group(Polaczenie, "Rodzaj", QStringLiteral("Rodzaj"));
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
    connection->addWidget(buildLineSettings(Polaczenie));
    connection->addWidget(buildNetworkSettings(Polaczenie));
    Zastosuj = new QPushButton(QStringLiteral("Zapisz Ustawienia"), Polaczenie);
    Zastosuj->setObjectName(QStringLiteral("Zastosuj"));
    connection->addWidget(Zastosuj);
    return Polaczenie;
}

// The line settings of a COM port or a USB converter: one group for both,
// with the two port lists in one place.
QGroupBox* TSettingsPanel::buildLineSettings(QWidget* parent) {
    COM_group = group(parent, "COM_group", QStringLiteral("COM"));
    auto* line = new QGridLayout(COM_group);
    Label4 = label(COM_group, "Label4", QStringLiteral("Port"));
    availCom = newList(COM_group, "availCom");
    // A typed device path (/dev/serial/by-id/...) is allowed.
    availCom->setEditable(true);
    availCom->setInsertPolicy(QComboBox::NoInsert);
    availCom->hide();
    availUSB = newList(COM_group, "availUSB");
    Label6 = label(COM_group, "Label6", QStringLiteral("Prędkość"));
    baudRate = newList(COM_group, "baudRate");
    Label7 = label(COM_group, "Label7", QStringLiteral("Ilość bitów"));
    bits = newList(COM_group, "bits");
    Label8 = label(COM_group, "Label8", QStringLiteral("Parzystość"));
    parity = newList(COM_group, "parity");
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
    return COM_group;
}

QGroupBox* TSettingsPanel::buildNetworkSettings(QWidget* parent) {
    Ethernet_group = group(parent, "Ethernet_group", QStringLiteral("Ethernet"));
    auto* network = new QGridLayout(Ethernet_group);
    Label9 = label(Ethernet_group, "Label9", QStringLiteral("Adres IP"));
    ip = new QLineEdit(QStringLiteral("192.168.1.75"), Ethernet_group);
    ip->setObjectName(QStringLiteral("ip"));
    Label10 = label(Ethernet_group, "Label10", QStringLiteral("Port"));
    port = new QLineEdit(QStringLiteral("1001"), Ethernet_group);
    port->setObjectName(QStringLiteral("port"));
    port->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), port));
    network->addWidget(Label9, 0, 0);
    network->addWidget(ip, 0, 1);
    network->addWidget(Label10, 1, 0);
    network->addWidget(port, 1, 1);
    return Ethernet_group;
}

void TSettingsPanel::addFixedListItems() {
    parity->addItems({QStringLiteral("Even"), QStringLiteral("Odd"), QStringLiteral("None")});
    bits->addItems({QStringLiteral("7"), QStringLiteral("8")});
    for (int i = static_cast<int>(std::size(qelscale::kBaudRates)) - 1; i >= 0; --i) {
        baudRate->addItem(QString::number(qelscale::kBaudRates[i]));
    }
    for (QComboBox* list : {parity, bits, baudRate, availUSB}) {
        list->setCurrentIndex(-1);
    }
}

// The labels of the line and network settings name their controls: for the
// keyboard (the buddy) and for assistive technology (the accessible name,
// renewed with each language). Label4 names whichever port list is shown.
void TSettingsPanel::linkLabels() {
    Label4->setBuddy(availUSB);
    Label6->setBuddy(baudRate);
    Label7->setBuddy(bits);
    Label8->setBuddy(parity);
    Label9->setBuddy(ip);
    Label10->setBuddy(port);
}

void TSettingsPanel::nameControls() {
    for (auto [label, control] : {std::pair<QLabel*, QWidget*>{Label4, availCom},
                                  {Label4, availUSB},
                                  {Label6, baudRate},
                                  {Label7, bits},
                                  {Label8, parity},
                                  {Label9, ip},
                                  {Label10, port}}) {
        control->setAccessibleName(NamedWidgets::accessibleCaption(label->text()));
    }
    // The typing part of the editable port list is a child of its own.
    availCom->lineEdit()->setAccessibleName(availCom->accessibleName());
}

void TSettingsPanel::connectControls() {
    // The groups follow the checked kind however it was checked: a click,
    // the arrow keys, assistive technology or the stored settings.
    auto onChecked = [this](QRadioButton* kind, void (TSettingsPanel::*show)()) {
        connect(kind, &QRadioButton::toggled, this, [this, kind, show](bool checked) {
            if (checked) {
                NamedWidgets::giveTabStop(kind, {COM, USB, Eth});
                (this->*show)();
            }
        });
    };
    onChecked(COM, &TSettingsPanel::COMClick);
    onChecked(USB, &TSettingsPanel::USBClick);
    onChecked(Eth, &TSettingsPanel::EthClick);
    connect(PL, &QToolButton::clicked, this, [this] { emit languageChosen(Language::Polish); });
    connect(ENG, &QToolButton::clicked, this, [this] { emit languageChosen(Language::English); });
    connect(Zastosuj, &QPushButton::clicked, this, &TSettingsPanel::saveRequested);
    connect(btnRefresh, &QPushButton::clicked, this, &TSettingsPanel::refreshRequested);
}

void TSettingsPanel::applyCaptions(const LanguageTexts& texts) {
    auto t = [&texts](const char* key) { return texts.text(QLatin1String(key)); };
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
    gbArchiwum->applyCaptions(texts.language());
    nameControls();
}

void TSettingsPanel::setFlagIcons(const QIcon& english, const QIcon& polish) {
    ENG->setIcon(english);
    PL->setIcon(polish);
}

void TSettingsPanel::showIdentity(const QString& type, const QString& serialNumber,
                                  const QString& productionDate) {
    lbTyp->setText(type);
    lbNrSeryjny->setText(serialNumber);
    lbDataProdukcji->setText(productionDate);
}

void TSettingsPanel::applyStored(const StoredConnection& stored) {
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
    // Checking a kind shows its group and selects its stored line settings.
    if (stored.lastUsed == QLatin1String("COM")) {
        COM->setChecked(true);
    } else if (stored.lastUsed == QLatin1String("USB")) {
        USB->setChecked(true);
    } else if (stored.lastUsed == QLatin1String("Ethernet")) {
        Eth->setChecked(true);
    }
    selectItem(availCom, SavedComPort);
    selectItem(availUSB, SavedUsbDevice);
}

void TSettingsPanel::setPortLists(const QStringList& comPorts, const QStringList& usbDevices,
                                  bool onlyPresentPaths) {
    if (!availCom->currentText().isEmpty()) {
        SavedComPort = availCom->currentText();
    }
    if (!availUSB->currentText().isEmpty()) {
        SavedUsbDevice = availUSB->currentText();
    }
    availUSB->clear();
    availCom->clear();
    availUSB->addItems(usbDevices);
    availCom->addItems(comPorts);
    selectItem(availCom, SavedComPort);
    selectItem(availUSB, SavedUsbDevice);
    if (onlyPresentPaths && availCom->currentIndex() < 0 &&
        !QFileInfo::exists(availCom->currentText())) {
        availCom->setEditText(QString());
    }
}

void TSettingsPanel::COMClick() {
    COM_group->setTitle(QStringLiteral("COM"));
    COM_group->show();
    availUSB->hide();
    availCom->show();
    Label4->setBuddy(availCom);
    Ethernet_group->hide();
    selectItem(bits, SavedComBits);
    selectItem(parity, SavedComParity);
    selectItem(baudRate, SavedComBaud);
}

void TSettingsPanel::USBClick() {
    COM_group->setTitle(QStringLiteral("USB"));
    COM_group->show();
    availUSB->show();
    availCom->hide();
    Label4->setBuddy(availUSB);
    Ethernet_group->hide();
    selectItem(baudRate, SavedUsbBaud);
    selectItem(bits, SavedUsbBits);
    selectItem(parity, SavedUsbParity);
}

void TSettingsPanel::EthClick() {
    COM_group->hide();
    Ethernet_group->show();
}

// Selects the item equal to the text, or none. The editable port list keeps a
// device path that the library does not list, since Linux users often name
// their port by a stable path (/dev/serial/by-id/...).
void TSettingsPanel::selectItem(QComboBox* list, const QString& text) {
    const int index = text.isEmpty() ? -1 : list->findText(text, Qt::MatchExactly);
    list->setCurrentIndex(index);
    if (list->isEditable()) {
        const bool keepTyped = index < 0 && ConnectionNames::isDevicePath(text);
        list->setEditText(index >= 0 ? list->itemText(index) : (keepTyped ? text : QString()));
    }
}

ConnectionChoice TSettingsPanel::choice() const {
    ConnectionChoice choice;
    if (COM->isChecked()) {
        choice.kind = ConnectionChoice::Kind::Com;
    } else if (USB->isChecked()) {
        choice.kind = ConnectionChoice::Kind::Usb;
    } else if (Eth->isChecked()) {
        choice.kind = ConnectionChoice::Kind::Ethernet;
    }
    choice.comPort = availCom->currentText();
    choice.usbDevice = availUSB->currentText();
    choice.baudRate = baudRate->currentText();
    choice.bits = bits->currentText();
    choice.parity = parity->currentText();
    choice.ip = ip->text();
    choice.port = port->text();
    return choice;
}

QList<QPair<QString, QString>> TSettingsPanel::valuesToStore() const {
    switch (choice().kind) {
        case ConnectionChoice::Kind::Com:
            return {{QStringLiteral("Last Used"), QStringLiteral("COM")},
                    {QStringLiteral("COM_port"),
                     ConnectionNames::comStoredValue(availCom->currentText())},
                    {QStringLiteral("COM_baudrate"), baudRate->currentText()},
                    {QStringLiteral("COM_parity"), parity->currentText()},
                    {QStringLiteral("COM_bits"), bits->currentText()}};
        case ConnectionChoice::Kind::Usb:
            return {{QStringLiteral("Last Used"), QStringLiteral("USB")},
                    {QStringLiteral("USB_device"),
                     ConnectionNames::usbStoredValue(availUSB->currentText())},
                    {QStringLiteral("USB_baud"), baudRate->currentText()},
                    {QStringLiteral("USB_parity"), parity->currentText()},
                    {QStringLiteral("USB_bits"), bits->currentText()}};
        case ConnectionChoice::Kind::Ethernet:
            return {{QStringLiteral("Last Used"), QStringLiteral("Ethernet")},
                    {QStringLiteral("Eth_ip"), ip->text()},
                    {QStringLiteral("Eth_port"), port->text()}};
        case ConnectionChoice::Kind::None:
            break;
    }
    return {};
}
