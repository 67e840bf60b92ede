#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>

#include "ConnectionNames.h"
#include "RecordTableModel.h"
#include "ScaleLibrary.h"
#include "ScaleSimProcess.h"
#include "SettingsStore.h"
#include "TMainForm.h"
#include "TRadioGroup.h"
#include "TestSupport.h"

namespace {

QStringList itemsOf(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) {
        items.append(list->itemText(i));
    }
    return items;
}

QString labelOf(const TMainForm& form, const char* edit) {
    return child<QLabel>(form, (QByteArray(edit) + "Label").constData())->text();
}

QVariant storedValue(const char* name) {
    return QSettings(QStringLiteral("VESK"), QStringLiteral("Tarvo")).value(QLatin1String(name));
}

}  // namespace

class TMainFormTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        settings_.clear();
        answerer_.clear();
    }

    void startsAsDesigned() {
        TMainForm form({libraryDir()});
        QCOMPARE(form.windowTitle(), QStringLiteral("QEL Tarvo v0.4"));
        QCOMPARE(form.size(), QSize(836, 588));
        QVERIFY(!child<QWidget>(form, "PanUstawienia")->isVisibleTo(&form));
        QVERIFY(!child<QPushButton>(form, "btnCsvExport")->isEnabled());
        QVERIFY(child<QPushButton>(form, "btnOdczytaj")->isEnabled());
        QVERIFY(!child<QGroupBox>(form, "COM_group")->isVisibleTo(&form));
        QVERIFY(!child<QGroupBox>(form, "Ethernet_group")->isVisibleTo(&form));
        QVERIFY(
            !child<QComboBox>(form, "availCom")->isVisibleTo(child<QWidget>(form, "COM_group")));
        QVERIFY(child<QComboBox>(form, "availUSB")->isVisibleTo(child<QWidget>(form, "COM_group")));
        QCOMPARE(itemsOf(child<QComboBox>(form, "parity")), (QStringList{"Even", "Odd", "None"}));
        QCOMPARE(itemsOf(child<QComboBox>(form, "bits")), (QStringList{"7", "8"}));
        QCOMPARE(
            itemsOf(child<QComboBox>(form, "baudRate")),
            (QStringList{"115200", "57600", "38400", "19200", "9600", "4800", "2400", "1200"}));
        QCOMPARE(child<QLineEdit>(form, "ip")->text(), QStringLiteral("192.168.1.75"));
        QCOMPARE(child<QLineEdit>(form, "port")->text(), QStringLiteral("1001"));
        for (const char* kind : {"COM", "USB", "Eth"}) {
            QVERIFY(!child<QRadioButton>(form, kind)->isChecked());
        }
        QCOMPARE(form.stateText(), QString());
        QCOMPARE(child<QProgressBar>(form, "ProgressBar1")->value(), 0);
        QCOMPARE(child<QLabel>(form, "lbLiczbaRekordow")->text(), QStringLiteral("---"));
        QCOMPARE(child<QDateEdit>(form, "dtpDataOd")->date(), QDate::currentDate());
        QCOMPARE(child<QTimeEdit>(form, "dtpCzasOd")->time(), QTime(0, 0));
        QCOMPARE(child<QDateEdit>(form, "dtpDataDo")->date(), QDate::currentDate().addDays(1));
        QCOMPARE(child<QTimeEdit>(form, "dtpCzasDo")->time(), QTime(0, 0));
        QVERIFY(!child<QCheckBox>(form, "chbDataOd")->isChecked());
        QCOMPARE(child<TRadioGroup>(form, "rgMasa")->itemIndex(), 0);
        QCOMPARE(child<QTableView>(form, "DBGrid1")->verticalScrollBarPolicy(),
                 Qt::ScrollBarAlwaysOn);
        QCOMPARE(child<QTableView>(form, "DBGrid1")->model()->columnCount(), 0);
    }

    void captionsArePolishAtFirstStart() {
        TMainForm form({libraryDir()});
        QCOMPARE(child<QPushButton>(form, "btnOdczytaj")->text(), QStringLiteral("Odczytaj"));
        QCOMPARE(child<QGroupBox>(form, "GroupBox2")->title(),
                 QStringLiteral("Filtrowanie rekordów:"));
        QCOMPARE(child<TRadioGroup>(form, "rgMasa")->items(),
                 (QStringList{"Netto", "Brutto", "Tara"}));
        QCOMPARE(labelOf(form, "leProdukt"), QStringLiteral("Produkt:"));
        QCOMPARE(labelOf(form, "leIDod"), QStringLiteral("od"));
        QCOMPARE(child<QLabel>(form, "Label2")->text(), QStringLiteral("Nr seryjny:"));
        // Captions outside the tables keep their design text.
        QCOMPARE(child<QGroupBox>(form, "GroupBox4")->title(), QStringLiteral("RecID:"));
        QCOMPARE(child<QLabel>(form, "Label4")->text(), QStringLiteral("Port"));
        QCOMPARE(child<QRadioButton>(form, "Eth")->text(), QStringLiteral("Ethernet"));
        // The language step created the store.
        QVERIFY(SettingsStore().exists());
    }

    void settingsPanelToggles() {
        TMainForm form({libraryDir()});
        auto* panel = child<QWidget>(form, "PanUstawienia");
        QTest::mouseClick(child<QPushButton>(form, "btnUstawienia"), Qt::LeftButton);
        QVERIFY(panel->isVisibleTo(&form));
        QTest::mouseClick(child<QPushButton>(form, "btnUstawienia"), Qt::LeftButton);
        QVERIFY(!panel->isVisibleTo(&form));
    }

    void connectionKindShowsItsGroup() {
        TMainForm form({libraryDir()});
        form.show();
        QTest::mouseClick(child<QPushButton>(form, "btnUstawienia"), Qt::LeftButton);
        auto* comGroup = child<QGroupBox>(form, "COM_group");
        auto* ethGroup = child<QGroupBox>(form, "Ethernet_group");
        child<QRadioButton>(form, "COM")->click();
        QVERIFY(comGroup->isVisible());
        QCOMPARE(comGroup->title(), QStringLiteral("COM"));
        QVERIFY(child<QComboBox>(form, "availCom")->isVisible());
        QVERIFY(!child<QComboBox>(form, "availUSB")->isVisible());
        QVERIFY(!ethGroup->isVisible());
        child<QRadioButton>(form, "USB")->click();
        QCOMPARE(comGroup->title(), QStringLiteral("USB"));
        QVERIFY(!child<QComboBox>(form, "availCom")->isVisible());
        QVERIFY(child<QComboBox>(form, "availUSB")->isVisible());
        child<QRadioButton>(form, "Eth")->click();
        QVERIFY(!comGroup->isVisible());
        QVERIFY(ethGroup->isVisible());
    }

    void englishIsRememberedAcrossStarts() {
        {
            TMainForm form({libraryDir()});
            child<QToolButton>(form, "ENG")->click();
            QCOMPARE(child<QPushButton>(form, "btnOdczytaj")->text(), QStringLiteral("Read"));
            QCOMPARE(child<QLabel>(form, "Label2")->text(), QStringLiteral("    Serial Nr:"));
            QCOMPARE(child<TRadioGroup>(form, "rgMasa")->items(),
                     (QStringList{"Net", "Gross", "Tare"}));
            QCOMPARE(labelOf(form, "leUzytkownik"), QStringLiteral("User:"));
            QCOMPARE(storedValue("Language").toString(), QStringLiteral("ENG"));
        }
        {
            TMainForm form({libraryDir()});
            QCOMPARE(child<QPushButton>(form, "btnCsvExport")->text(),
                     QStringLiteral("Export to CSV"));
            QCOMPARE(child<QGroupBox>(form, "Rodzaj")->title(), QStringLiteral("Kinds"));
            QCOMPARE(form.texts().language(), Language::English);
        }
        SettingsStore().setValues({{QStringLiteral("Language"), QStringLiteral("eng")}});
        TMainForm form({libraryDir()});
        QCOMPARE(child<QPushButton>(form, "btnOdczytaj")->text(), QStringLiteral("Odczytaj"));
    }

    void languageButtonEmptiesTheTable() {
        TMainForm form({libraryDir()});
        auto* table = child<RecordTableModel>(form, "ClientDataSet1");
        loadRecords(*table, {TestRecord(), TestRecord()}, Language::Polish, polishFormats());
        child<QLabel>(form, "lbTyp")->setText(QStringLiteral("X"));
        QCOMPARE(child<QTableView>(form, "DBGrid1")->model()->rowCount(), 2);
        child<QToolButton>(form, "PL")->click();  // Polish is already in force
        QVERIFY(!table->isOpen());
        QCOMPARE(child<QTableView>(form, "DBGrid1")->model()->rowCount(), 0);
        QCOMPARE(child<QTableView>(form, "DBGrid1")->model()->columnCount(), 0);
        for (const char* label : {"lbTyp", "lbNrSeryjny", "lbDataProdukcji", "lbLiczbaRekordow"}) {
            QCOMPARE(child<QLabel>(form, label)->text(), QStringLiteral("---"));
        }
    }

    void filterDoesNothingWhileTheTableIsClosed() {
        TMainForm form({libraryDir()});
        QTest::keyClicks(child<QLineEdit>(form, "leMasaOd"), QStringLiteral("abc"));
        child<QCheckBox>(form, "chbDataOd")->click();
        QTest::qWait(100);
        QVERIFY(answerer_.messages().empty());
        QCOMPARE(child<QLabel>(form, "lbLiczbaRekordow")->text(), QStringLiteral("---"));
        QVERIFY(form.filterExpression().isEmpty());
    }

    void comSettingsRoundTrip_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shownAfterRestart");
        QTest::newRow("COM12") << "COM12"
                               << "12"
                               << "";
        QTest::newRow("COM1234") << "COM1234"
                                 << "123"
                                 << "";
        QTest::newRow("device path") << "/tmp/vesk-test/ttyScale"
                                     << "/tmp/vesk-test/ttyScale"
                                     << "/tmp/vesk-test/ttyScale";
    }

    void comSettingsRoundTrip() {
        QFETCH(QString, port);
        QFETCH(QString, stored);
        QFETCH(QString, shownAfterRestart);
        {
            TMainForm form({libraryDir()});
            child<QRadioButton>(form, "COM")->click();
            child<QComboBox>(form, "availCom")->setEditText(port);
            child<QComboBox>(form, "baudRate")->setCurrentText(QStringLiteral("19200"));
            child<QComboBox>(form, "parity")->setCurrentText(QStringLiteral("Odd"));
            child<QComboBox>(form, "bits")->setCurrentText(QStringLiteral("7"));
            child<QPushButton>(form, "Zastosuj")->click();
        }
        QCOMPARE(storedValue("Last Used").toString(), QStringLiteral("COM"));
        QCOMPARE(storedValue("COM_port").toString(), stored);
        QCOMPARE(storedValue("COM_baudrate").toString(), QStringLiteral("19200"));
        QCOMPARE(storedValue("COM_parity").toString(), QStringLiteral("Odd"));
        QCOMPARE(storedValue("COM_bits").toString(), QStringLiteral("7"));
        TMainForm form({libraryDir()});
        QVERIFY(child<QRadioButton>(form, "COM")->isChecked());
        QVERIFY(!child<QGroupBox>(form, "COM_group")->isHidden());
        QCOMPARE(child<QComboBox>(form, "baudRate")->currentText(), QStringLiteral("19200"));
        QCOMPARE(child<QComboBox>(form, "parity")->currentText(), QStringLiteral("Odd"));
        QCOMPARE(child<QComboBox>(form, "bits")->currentText(), QStringLiteral("7"));
        // A COMn port that the machine lacks is not selected; a typed path stays.
        QCOMPARE(child<QComboBox>(form, "availCom")->currentText(), shownAfterRestart);
    }

    void usbSaveKeepsTheComValues() {
        {
            TMainForm form({libraryDir()});
            child<QRadioButton>(form, "COM")->click();
            child<QComboBox>(form, "availCom")->setEditText(QStringLiteral("COM3"));
            child<QComboBox>(form, "baudRate")->setCurrentText(QStringLiteral("4800"));
            child<QPushButton>(form, "Zastosuj")->click();
            child<QRadioButton>(form, "USB")->click();
            child<QComboBox>(form, "baudRate")->setCurrentText(QStringLiteral("57600"));
            child<QComboBox>(form, "parity")->setCurrentText(QStringLiteral("Even"));
            child<QComboBox>(form, "bits")->setCurrentText(QStringLiteral("8"));
            child<QPushButton>(form, "Zastosuj")->click();
        }
        QCOMPARE(storedValue("Last Used").toString(), QStringLiteral("USB"));
        QCOMPARE(storedValue("COM_port").toString(), QStringLiteral("3"));
        QCOMPARE(storedValue("COM_baudrate").toString(), QStringLiteral("4800"));
        QCOMPARE(storedValue("USB_baud").toString(), QStringLiteral("57600"));
        QCOMPARE(storedValue("USB_parity").toString(), QStringLiteral("Even"));
        TMainForm form({libraryDir()});
        QVERIFY(child<QRadioButton>(form, "USB")->isChecked());
        QCOMPARE(child<QGroupBox>(form, "COM_group")->title(), QStringLiteral("USB"));
        // Read back under the names "USB_Parity" and "USB_Bits".
        QCOMPARE(child<QComboBox>(form, "baudRate")->currentText(), QStringLiteral("57600"));
        QCOMPARE(child<QComboBox>(form, "parity")->currentText(), QStringLiteral("Even"));
        QCOMPARE(child<QComboBox>(form, "bits")->currentText(), QStringLiteral("8"));
        child<QRadioButton>(form, "COM")->click();
        QCOMPARE(child<QComboBox>(form, "baudRate")->currentText(), QStringLiteral("4800"));
    }

    void ethernetSettingsRoundTrip() {
        {
            TMainForm form({libraryDir()});
            child<QRadioButton>(form, "Eth")->click();
            child<QLineEdit>(form, "ip")->setText(QStringLiteral("127.0.0.9"));
            child<QLineEdit>(form, "port")->setText(QStringLiteral("4001"));
            child<QPushButton>(form, "Zastosuj")->click();
        }
        TMainForm form({libraryDir()});
        QVERIFY(child<QRadioButton>(form, "Eth")->isChecked());
        QVERIFY(!child<QGroupBox>(form, "Ethernet_group")->isHidden());
        QCOMPARE(child<QLineEdit>(form, "ip")->text(), QStringLiteral("127.0.0.9"));
        QCOMPARE(child<QLineEdit>(form, "port")->text(), QStringLiteral("4001"));
    }

    void lowerCaseLastUsedSelectsNoKind() {
        SettingsStore().setValues({{QStringLiteral("Last Used"), QStringLiteral("com")}});
        TMainForm form({libraryDir()});
        for (const char* kind : {"COM", "USB", "Eth"}) {
            QVERIFY(!child<QRadioButton>(form, kind)->isChecked());
        }
    }

    void secondStartWithoutSaveEmptiesIpAndPort() {
        { TMainForm first({libraryDir()}); }
        TMainForm second({libraryDir()});
        QCOMPARE(child<QLineEdit>(second, "ip")->text(), QString());
        QCOMPARE(child<QLineEdit>(second, "port")->text(), QString());
    }

    void portIsDigitsOnly() {
        TMainForm form({libraryDir()});
        auto* port = child<QLineEdit>(form, "port");
        port->clear();
        QTest::keyClicks(port, QStringLiteral("12a3"));
        QCOMPARE(port->text(), QStringLiteral("123"));
    }

    void saveFailureIsReported() {
        TMainForm form({libraryDir()});
        child<QRadioButton>(form, "Eth")->click();
        QTemporaryDir dir;
        const QString blocker = dir.filePath(QStringLiteral("blocked"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, blocker);
        child<QPushButton>(form, "Zastosuj")->click();
        settings_.activate();
        QCOMPARE(answerer_.messages().size(), size_t(1));
        QCOMPARE(answerer_.messages()[0].text, QStringLiteral("Błąd zapisu ustawień do rejestru"));
    }

    void portListsComeFromTheLibrary() {
        TMainForm form({libraryDir()});
        // The same answers, asked of a scale object of our own.
        ScaleLibrary library;
        CVESKScaleInterface* scale = library.createScale({libraryDir()});
        QVERIFY(scale != nullptr);
        CVESKDeviceInterface* device = scale;
        device->SetConnectionKind(1);
        const QStringList usb = ConnectionNames::usbDevicesFromCount(device->GetParameter("count"));
        device->SetConnectionKind(0);
        const QStringList com =
            ConnectionNames::comPortsFromAnswer(device->GetParameter("comports"));
        device->Release();
        QCOMPARE(itemsOf(child<QComboBox>(form, "availUSB")), usb);
        QCOMPARE(itemsOf(child<QComboBox>(form, "availCom")), com);
    }

    void refreshKeepsOnlyPresentSelections() {
        TMainForm form({libraryDir()});
        auto* ports = child<QComboBox>(form, "availCom");
        ports->setEditText(QStringLiteral("COM99"));
        child<QPushButton>(form, "btnRefresh")->click();
        QCOMPARE(ports->currentIndex(), -1);
        QCOMPARE(ports->currentText(), QString());
        if (ports->count() == 0) {
            return;  // this machine has no serial port to keep selected
        }
        ports->setCurrentIndex(ports->count() - 1);
        const QString present = ports->currentText();
        child<QPushButton>(form, "btnRefresh")->click();
        QCOMPARE(ports->currentText(), present);
    }

    void refreshDropsADevicePathThatVanished() {
        if (scaleSimPath().isEmpty() || !QFile::exists(scaleSimPath())) {
            QSKIP("scale-sim is not built");
        }
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("ttyScale"));
        auto sim = std::make_unique<ScaleSimProcess>(
            scaleSimPath().toStdString(), std::vector<std::string>{"--link", link.toStdString()});
        TMainForm form({libraryDir()});
        auto* ports = child<QComboBox>(form, "availCom");
        ports->setEditText(link);
        auto* refresh = child<QPushButton>(form, "btnRefresh");
        refresh->click();
        QCOMPARE(ports->currentText(), link);
        sim.reset();  // the simulator removes its link: the device is gone
        QVERIFY(!QFileInfo::exists(link));
        refresh->click();
        QCOMPARE(ports->currentText(), QString());
        // The device comes back under its name: it is offered again.
        sim = std::make_unique<ScaleSimProcess>(
            scaleSimPath().toStdString(), std::vector<std::string>{"--link", link.toStdString()});
        refresh->click();
        QCOMPARE(ports->currentText(), link);
    }

private:
    TemporarySettings settings_;
    ModalAnswerer answerer_;
};

QTEST_MAIN(TMainFormTest)
#include "tst_TMainForm.moc"
