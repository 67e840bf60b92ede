#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>

#include "ScaleSimProcess.h"
#include "SettingsStore.h"
#include "TMainForm.h"
#include "TestSupport.h"

namespace {

QStringList itemsOf(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) {
        items.append(list->itemText(i));
    }
    return items;
}

}  // namespace

class TMainFormUsbTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        settings_.clear();
        qunsetenv("FTD2XX_STANDIN_DEVICES");
    }

    void threeConvertersCountDown() {
        qputenv("FTD2XX_STANDIN_DEVICES", "device;device;device");
        TMainForm form({libraryDir()});
        QCOMPARE(itemsOf(child<QComboBox>(form, "availUSB")),
                 (QStringList{"USB3", "USB2", "USB1"}));
    }

    void refreshFollowsConvertersPluggedIn() {
        TMainForm form({libraryDir()});
        QCOMPARE(itemsOf(child<QComboBox>(form, "availUSB")), QStringList());
        qputenv("FTD2XX_STANDIN_DEVICES", "device;device");
        child<QPushButton>(form, "btnRefresh")->click();
        QCOMPARE(itemsOf(child<QComboBox>(form, "availUSB")), (QStringList{"USB2", "USB1"}));
    }

    void readOverUsb() {
        if (scaleSimPath().isEmpty() || !QFile::exists(scaleSimPath())) {
            QSKIP("scale-sim is not built");
        }
        ScaleSimProcess sim(scaleSimPath().toStdString(),
                            std::vector<std::string>{"--pty", "--records", "25"});
        qputenv("FTD2XX_STANDIN_DEVICES", QByteArray("device peer=pty:") + sim.PtyPath().c_str());
        SettingsStore().setValues({{QStringLiteral("Last Used"), QStringLiteral("USB")},
                                   {QStringLiteral("USB_device"), QStringLiteral("1")},
                                   {QStringLiteral("USB_baud"), QStringLiteral("9600")},
                                   {QStringLiteral("USB_parity"), QStringLiteral("None")},
                                   {QStringLiteral("USB_bits"), QStringLiteral("8")}});
        TMainForm form({libraryDir()});
        QVERIFY(child<QRadioButton>(form, "USB")->isChecked());
        QCOMPARE(child<QGroupBox>(form, "COM_group")->title(), QStringLiteral("USB"));
        QCOMPARE(child<QComboBox>(form, "availUSB")->currentText(), QStringLiteral("USB1"));
        QVERIFY(readScale(form));
        QCOMPARE(form.stateText(), QStringLiteral("Sukces!"));
        QCOMPARE(gridRows(form).size(), 25);
    }

private:
    TemporarySettings settings_;
};

QTEST_MAIN(TMainFormUsbTest)
#include "tst_TMainFormUsb.moc"
