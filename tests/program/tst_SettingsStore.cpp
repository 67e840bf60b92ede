#include <QFile>
#include <QSettings>
#include <QTest>

#include "SettingsStore.h"
#include "TestSupport.h"

class SettingsStoreTest : public QObject {
    Q_OBJECT

private slots:
    void init() { settings_.clear(); }

    void storeStartsMissingAndEnsureCreatesIt() {
        SettingsStore store;
        QVERIFY(!store.exists());
        store.ensureExists();
        QVERIFY(store.exists());
        QVERIFY(QFile::exists(settings_.fileName()));
        const StoredConnection stored = store.readConnection();
        QVERIFY(stored.lastUsed.isEmpty());
        QVERIFY(stored.ethIp.isEmpty());
    }

    void valueNamesMatchRegardlessOfCase() {
        SettingsStore store;
        QVERIFY(store.setValues({{QStringLiteral("USB_bits"), QStringLiteral("7")},
                                 {QStringLiteral("USB_parity"), QStringLiteral("Odd")}}));
        QCOMPARE(store.value(QStringLiteral("USB_Bits")), QStringLiteral("7"));
        const StoredConnection stored = store.readConnection();
        QCOMPARE(stored.usbBits, QStringLiteral("7"));
        QCOMPARE(stored.usbParity, QStringLiteral("Odd"));
    }

    void aWriteReplacesTheDifferentlyCasedTwin() {
        settings_.writeRaw("[General]\nUSB_Bits=8\n");
        SettingsStore store;
        QCOMPARE(store.value(QStringLiteral("usb_bits")), QStringLiteral("8"));
        QVERIFY(store.setValues({{QStringLiteral("USB_bits"), QStringLiteral("7")}}));
        QSettings raw(QStringLiteral("VESK"), QStringLiteral("Tarvo"));
        QCOMPARE(raw.childKeys(), QStringList{QStringLiteral("USB_bits")});
        QCOMPARE(store.value(QStringLiteral("USB_Bits")), QStringLiteral("7"));
    }

    void readsEveryValue() {
        SettingsStore store;
        QVERIFY(store.setValues({{QStringLiteral("Last Used"), QStringLiteral("COM")},
                                 {QStringLiteral("COM_port"), QStringLiteral("12")},
                                 {QStringLiteral("COM_baudrate"), QStringLiteral("9600")},
                                 {QStringLiteral("COM_parity"), QStringLiteral("Even")},
                                 {QStringLiteral("COM_bits"), QStringLiteral("8")},
                                 {QStringLiteral("USB_device"), QStringLiteral("2")},
                                 {QStringLiteral("USB_baud"), QStringLiteral("19200")},
                                 {QStringLiteral("Eth_ip"), QStringLiteral("10.0.0.5")},
                                 {QStringLiteral("Eth_port"), QStringLiteral("4001")}}));
        const StoredConnection stored = store.readConnection();
        QCOMPARE(stored.lastUsed, QStringLiteral("COM"));
        QCOMPARE(stored.comPort, QStringLiteral("12"));
        QCOMPARE(stored.comBaudrate, QStringLiteral("9600"));
        QCOMPARE(stored.comParity, QStringLiteral("Even"));
        QCOMPARE(stored.comBits, QStringLiteral("8"));
        QCOMPARE(stored.usbDevice, QStringLiteral("2"));
        QCOMPARE(stored.usbBaud, QStringLiteral("19200"));
        QCOMPARE(stored.ethIp, QStringLiteral("10.0.0.5"));
        QCOMPARE(stored.ethPort, QStringLiteral("4001"));
    }

    void nonTextValueReadsAsEmpty() {
        settings_.writeRaw(
            "[General]\nCOM_port=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x12QStringList)\n");
        QCOMPARE(SettingsStore().value(QStringLiteral("COM_port")), QString());
    }

    void languageRoundTrip() {
        SettingsStore store;
        QVERIFY(store.saveLanguage(QStringLiteral("ENG")));
        QCOMPARE(SettingsStore().language(), QStringLiteral("ENG"));
    }

    void unwritableStoreReportsFailure() {
        // The settings folder's place is taken by a plain file.
        QTemporaryDir dir;
        const QString blocker = dir.filePath(QStringLiteral("blocked"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, blocker);
        const bool saved =
            SettingsStore().setValues({{QStringLiteral("Eth_ip"), QStringLiteral("1")}});
        settings_.activate();
        QVERIFY(!saved);
    }

private:
    TemporarySettings settings_;
};

QTEST_GUILESS_MAIN(SettingsStoreTest)
#include "tst_SettingsStore.moc"
