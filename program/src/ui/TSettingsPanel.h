#pragma once

#include <QScrollArea>
#include <QStringList>

#include "LanguageTexts.h"
#include "SettingsStore.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class TArchiveGroup;

// The connection the operator chose in the settings panel, as its controls
// show it.
struct ConnectionChoice {
    enum class Kind { None, Com, Usb, Ethernet };
    Kind kind = Kind::None;
    QString comPort;    // availCom's text
    QString usbDevice;  // availUSB's text
    QString baudRate;
    QString bits;
    QString parity;  // "Even", "Odd" or "None"
    QString ip;
    QString port;
};

// The settings panel ("PanUstawienia", hidden at start): the device's
// identity, the language flags, the connection kind with its line settings
// or network address, and the port refresh.
class TSettingsPanel : public QScrollArea {
    Q_OBJECT

public:
    explicit TSettingsPanel(QWidget* parent = nullptr);

    void applyCaptions(const LanguageTexts& texts);
    void setFlagIcons(const QIcon& english, const QIcon& polish);
    void showIdentity(const QString& type, const QString& serialNumber,
                      const QString& productionDate);

    // Checks the stored kind and remembers the stored choices, which the
    // lists select once they hold them.
    void applyStored(const StoredConnection& stored);
    // Refills the port lists, selecting the remembered port and device again.
    // A list that shows nothing (at start, before its first filling) keeps the
    // stored choice.
    // With `onlyPresentPaths`, a typed device path that no longer exists is
    // not kept selected (it stays remembered, and comes back with its device).
    void setPortLists(const QStringList& comPorts, const QStringList& usbDevices,
                      bool onlyPresentPaths = false);

    ConnectionChoice choice() const;
    TArchiveGroup* archiveGroup() const { return gbArchiwum; }
    // The values a save stores for the chosen kind; empty when none is chosen.
    QList<QPair<QString, QString>> valuesToStore() const;

public slots:
    void COMClick();
    void USBClick();
    void EthClick();

signals:
    void languageChosen(Language language);
    void saveRequested();
    void refreshRequested();

private:
    QWidget* buildContent();
    QGroupBox* buildIdentity(QWidget* parent);
    QGroupBox* buildConnection(QWidget* parent);
    QGroupBox* buildLineSettings(QWidget* parent);
    QGroupBox* buildNetworkSettings(QWidget* parent);
    void addFixedListItems();
    void linkLabels();
    void nameControls();
    void connectControls();
    void selectItem(QComboBox* list, const QString& text);

    QString SavedComPort;
    QString SavedComBaud;
    QString SavedComParity;
    QString SavedComBits;
    QString SavedUsbDevice;
    QString SavedUsbBaud;
    QString SavedUsbBits;
    QString SavedUsbParity;

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
    TArchiveGroup* gbArchiwum = nullptr;
};
