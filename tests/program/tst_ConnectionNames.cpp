#include <QTest>

#include "ConnectionNames.h"

using namespace ConnectionNames;

class ConnectionNamesTest : public QObject {
    Q_OBJECT

private slots:
    void comNames_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("parameter");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("restored");
        QTest::newRow("COM1") << "COM1"
                              << "1"
                              << "1"
                              << "COM1";
        QTest::newRow("COM12") << "COM12"
                               << "12"
                               << "12"
                               << "COM12";
        QTest::newRow("COM1234") << "COM1234"
                                 << "1234"
                                 << "123"
                                 << "COM123";
        QTest::newRow("device path") << "/dev/ttyUSB0"
                                     << "/dev/ttyUSB0"
                                     << "/dev/ttyUSB0"
                                     << "/dev/ttyUSB0";
        QTest::newRow("by-id path") << "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"
                                    << "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"
                                    << "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"
                                    << "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0";
        QTest::newRow("empty") << ""
                               << ""
                               << ""
                               << "COM";
    }

    void comNames() {
        QFETCH(QString, port);
        QFETCH(QString, parameter);
        QFETCH(QString, stored);
        QFETCH(QString, restored);
        QCOMPARE(comParameter(port), parameter);
        QCOMPARE(comStoredValue(port), stored);
        QCOMPARE(comPortFromStored(stored), restored);
    }

    void usbNames() {
        QCOMPARE(usbParameter(QStringLiteral("USB2")), QStringLiteral("2"));
        QCOMPARE(usbStoredValue(QStringLiteral("USB1234")), QStringLiteral("123"));
        QCOMPARE(usbDeviceFromStored(QStringLiteral("2")), QStringLiteral("USB2"));
    }

    void parityIsFirstLetter() {
        QCOMPARE(parityLetter(QStringLiteral("Even")), QStringLiteral("E"));
        QCOMPARE(parityLetter(QStringLiteral("Odd")), QStringLiteral("O"));
        QCOMPARE(parityLetter(QStringLiteral("None")), QStringLiteral("N"));
    }

    void comPortsAreCrLfEndedLines() {
        QCOMPARE(comPortsFromAnswer("/dev/ttyS0\r\n/dev/ttyUSB0\r\n"),
                 (QStringList{QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyUSB0")}));
        // A last port without its CR LF is lost, as the answer's format says.
        QCOMPARE(comPortsFromAnswer("/dev/ttyS0\r\n/dev/ttyUSB0"),
                 QStringList{QStringLiteral("/dev/ttyS0")});
        QVERIFY(comPortsFromAnswer("").isEmpty());
        QVERIFY(comPortsFromAnswer(nullptr).isEmpty());
    }

    void usbDevicesCountDown() {
        QCOMPARE(
            usbDevicesFromCount("3"),
            (QStringList{QStringLiteral("USB3"), QStringLiteral("USB2"), QStringLiteral("USB1")}));
        QVERIFY(usbDevicesFromCount("0").isEmpty());
        QVERIFY(usbDevicesFromCount("abc").isEmpty());
        QVERIFY(usbDevicesFromCount(nullptr).isEmpty());
        // Kept in 8 bits: 257 is 1.
        QCOMPARE(usbDevicesFromCount("257"), QStringList{QStringLiteral("USB1")});
    }
};

QTEST_GUILESS_MAIN(ConnectionNamesTest)
#include "tst_ConnectionNames.moc"
