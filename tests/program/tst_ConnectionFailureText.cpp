#include <QTest>

#include "ConnectionFailureText.h"
#include "LanguageTexts.h"

class ConnectionFailureTextTest : public QObject {
    Q_OBJECT

private slots:
    void readsTheLibrarysAnswer() {
        const ConnectionFailure busy = ConnectionFailure::fromLibraryAnswer(
            "busy: /dev/ttyUSB0: in use by another program (process 4242)");
        QCOMPARE(busy.code, QStringLiteral("busy"));
        QCOMPARE(busy.subject, QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(busy.holderPid, QStringLiteral("4242"));
        QCOMPARE(busy.libraryLine(),
                 QStringLiteral("busy: /dev/ttyUSB0: in use by another program (process 4242)"));
        QVERIFY(ConnectionFailure::fromLibraryAnswer("").isEmpty());
        QVERIFY(ConnectionFailure::fromLibraryAnswer(nullptr).isEmpty());
        QCOMPARE(ConnectionFailureText(ConnectionFailure::fromLibraryAnswer(""), LanguageTexts()),
                 QString());
    }

    void saysWhyInTheOperatorsLanguage_data() {
        QTest::addColumn<bool>("english");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("text");
        const QString dialoutPl =
            "Na Linuksie porty szeregowe są dostępne dla grupy dialout. Dodaj do niej swoje konto "
            "poleceniem:\nsudo usermod -aG dialout $USER\na następnie wyloguj się i zaloguj "
            "ponownie.";
        const QString dialoutEn =
            "On Linux the serial ports belong to the dialout group. Add your account to it "
            "with:\nsudo usermod -aG dialout $USER\nthen log out and log in again.";
        QTest::newRow("permission, Polish")
            << false << QByteArray("permission: /dev/ttyS0: permission denied")
            << "Brak uprawnień do otwarcia /dev/ttyS0.\n" + dialoutPl +
                   "\n\npermission: /dev/ttyS0: permission denied";
        QTest::newRow("permission, English")
            << true << QByteArray("permission: /dev/ttyS0: permission denied")
            << "No permission to open /dev/ttyS0.\n" + dialoutEn +
                   "\n\npermission: /dev/ttyS0: permission denied";
        QTest::newRow("busy with pid")
            << false << QByteArray("busy: /dev/pts/3: in use by another program (process 77)")
            << QStringLiteral(
                   "/dev/pts/3 jest zajęty przez inny program (proces 77).\n"
                   "Zamknij tamten program i spróbuj ponownie.\n\n"
                   "busy: /dev/pts/3: in use by another program (process 77)");
        QTest::newRow("busy without pid")
            << true
            << QByteArray(
                   "busy: USB1 (serial FT1): in use by another program or by the "
                   "ftdi_sio driver (FT_Open: D2XX status 3)")
            << QStringLiteral(
                   "USB1 (serial FT1) is in use by another program.\n"
                   "Close that program and try again.\n\n"
                   "busy: USB1 (serial FT1): in use by another program or by the "
                   "ftdi_sio driver (FT_Open: D2XX status 3)");
        QTest::newRow("refused")
            << true << QByteArray("refused: 127.0.0.1:1001: connection refused")
            << QStringLiteral(
                   "127.0.0.1:1001 refused the connection: nothing listens on that "
                   "port.\nCheck the IP address and port of the scale's Ethernet "
                   "module.\n\nrefused: 127.0.0.1:1001: connection refused");
        QTest::newRow("timeout") << false << QByteArray("timeout: 10.0.0.9:1001: timed out")
                                 << QStringLiteral(
                                        "10.0.0.9:1001 nie odpowiedział w wyznaczonym czasie.\n"
                                        "Sprawdź kabel sieciowy i adres IP wagi.\n\n"
                                        "timeout: 10.0.0.9:1001: timed out");
        QTest::newRow("no library")
            << false << QByteArray("no-library: libftd2xx.so: cannot open shared object file")
            << QStringLiteral(
                   "Brak biblioteki FTDI D2XX (libftd2xx.so).\nPołączenie USB wymaga biblioteki "
                   "D2XX firmy FTDI: zainstaluj ją. Bez niej konwerter jest dostępny jako port "
                   "COM (/dev/ttyUSB0 i kolejne) przez sterownik ftdi_sio.\n\n"
                   "no-library: libftd2xx.so: cannot open shared object file");
        QTest::newRow("invalid names the whole detail")
            << true << QByteArray("invalid: 'scale.local': not an IPv4 address")
            << QStringLiteral(
                   "The connection settings cannot work: 'scale.local': not an IPv4 "
                   "address.\n\ninvalid: 'scale.local': not an IPv4 address");
        QTest::newRow("a code this program does not know")
            << true << QByteArray("vanished: /dev/ttyS4: gone")
            << QStringLiteral("/dev/ttyS4 could not be opened.\n\nvanished: /dev/ttyS4: gone");
    }

    void saysWhyInTheOperatorsLanguage() {
        QFETCH(bool, english);
        QFETCH(QByteArray, answer);
        QFETCH(QString, text);
        const LanguageTexts texts(english ? Language::English : Language::Polish);
        QCOMPARE(
            ConnectionFailureText(ConnectionFailure::fromLibraryAnswer(answer.constData()), texts),
            text);
    }

    void everyCodeHasBothTexts() {
        for (const char* code : {"not-found", "permission", "busy", "unreachable", "refused",
                                 "timeout", "no-library", "invalid", "closed", "io", "other"}) {
            const QByteArray answer = QByteArray(code) + ": /dev/ttyS0: reason";
            for (Language language : {Language::Polish, Language::English}) {
                const QString text =
                    ConnectionFailureText(ConnectionFailure::fromLibraryAnswer(answer.constData()),
                                          LanguageTexts(language));
                QVERIFY2(text.contains(QStringLiteral("/dev/ttyS0")), code);
                QVERIFY2(!text.startsWith(QLatin1Char('\n')), code);
                QVERIFY2(!text.contains(QLatin1String("%1")), code);
            }
        }
        QCOMPARE(LanguageTexts::keys().size(), 47);
    }
};

QTEST_GUILESS_MAIN(ConnectionFailureTextTest)
#include "tst_ConnectionFailureText.moc"
