// The window says why a connection failed, under "Nie udało się połączyć!",
// for each reason the library tells: the real window, the real library, a
// real pseudo-terminal, socket or missing D2XX library. This executable runs
// with no D2XX library on the search path.
#include <sys/stat.h>
#include <unistd.h>
#include <QMessageBox>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

#include "PtyPair.h"
#include "ScaleSimProcess.h"
#include "SettingsStore.h"
#include "TMainForm.h"
#include "TestSupport.h"

class TMainFormConnectionErrorsTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        settings_.clear();
        answerer_.clear();
    }

    void aMissingPort() {
        const QString path = dir_.filePath(QStringLiteral("no-such-port"));
        presetSerialConnection(path);
        const QString reason = failedConnectionReason();
        QVERIFY2(reason.startsWith("Urządzenie " + path + " nie istnieje.\n"), qPrintable(reason));
        QVERIFY2(reason.endsWith("\n\nnot-found: " + path + ": no such device"),
                 qPrintable(reason));
    }

    void aMissingPortInEnglish() {
        const QString path = dir_.filePath(QStringLiteral("no-such-port"));
        presetSerialConnection(path);
        const QString reason = failedConnectionReason(true);
        QVERIFY2(reason.startsWith(path + " does not exist.\nCheck that the device is plugged in"),
                 qPrintable(reason));
    }

    void aLineHeldByAnotherProcess() {
        qeltest::PtyPair pty;
        ScaleSimProcess holder(QELSCALE_CONNECT_HELPER, {"hold", "0", "COM=" + pty.SlavePath()});
        const QString path = QString::fromStdString(pty.SlavePath());
        presetSerialConnection(path);
        const QString reason = failedConnectionReason();
        QVERIFY2(reason.startsWith(QStringLiteral("%1 jest zajęty przez inny program (proces %2).\n"
                                                  "Zamknij tamten program i spróbuj ponownie.")
                                       .arg(path)
                                       .arg(holder.Pid())),
                 qPrintable(reason));
        holder.Stop();
    }

    void anUnreadableDevice() {
        if (geteuid() == 0) {
            QSKIP("root opens any device node");
        }
        qeltest::PtyPair pty;
        QCOMPARE(::chmod(pty.SlavePath().c_str(), 0), 0);
        const QString path = QString::fromStdString(pty.SlavePath());
        presetSerialConnection(path);
        const QString reason = failedConnectionReason();
        ::chmod(pty.SlavePath().c_str(), 0600);
        QVERIFY2(reason.startsWith("Brak uprawnień do otwarcia " + path + ".\n"),
                 qPrintable(reason));
        QVERIFY2(reason.contains(QLatin1String("grupy dialout")), qPrintable(reason));
        QVERIFY2(reason.contains(QLatin1String("\nsudo usermod -aG dialout $USER\n")),
                 qPrintable(reason));
    }

    void aClosedLoopbackPort() {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const QString port = QString::number(probe.serverPort());
        probe.close();  // nothing listens there now
        SettingsStore().setValues({{QStringLiteral("Last Used"), QStringLiteral("Ethernet")},
                                   {QStringLiteral("Eth_ip"), QStringLiteral("127.0.0.1")},
                                   {QStringLiteral("Eth_port"), port}});
        const QString reason = failedConnectionReason();
        QVERIFY2(reason.startsWith("127.0.0.1:" + port +
                                   " odmówił połączenia: nic nie nasłuchuje na tym porcie.\n"),
                 qPrintable(reason));
        QVERIFY2(reason.endsWith("refused: 127.0.0.1:" + port + ": connection refused"),
                 qPrintable(reason));
    }

    void noD2xxLibrary() {
        SettingsStore().setValues({{QStringLiteral("Last Used"), QStringLiteral("USB")},
                                   {QStringLiteral("USB_device"), QStringLiteral("1")},
                                   {QStringLiteral("USB_baud"), QStringLiteral("9600")},
                                   {QStringLiteral("USB_parity"), QStringLiteral("None")},
                                   {QStringLiteral("USB_bits"), QStringLiteral("8")}});
        const QString reason = failedConnectionReason();
        QVERIFY2(reason.startsWith(QStringLiteral("Brak biblioteki FTDI D2XX (libftd2xx.so).\n"
                                                  "Połączenie USB wymaga biblioteki D2XX firmy "
                                                  "FTDI: zainstaluj ją.")),
                 qPrintable(reason));
        QVERIFY2(reason.contains(QLatin1String("ftdi_sio")), qPrintable(reason));
        QVERIFY2(reason.contains(QLatin1String("\n\nno-library: libftd2xx.so: ")),
                 qPrintable(reason));
    }

private:
    // Reads with the stored settings and returns what the connection message
    // showed under its text; the message itself stays as it always was.
    QString failedConnectionReason(bool english = false) {
        TMainForm form({libraryDir()});
        if (english) {
            child<QToolButton>(form, "ENG")->click();
        }
        if (!readScale(form, 20000)) {
            return QStringLiteral("(the read did not end)");
        }
        if (answerer_.messages().size() != 1) {
            return QStringLiteral("(no single message)");
        }
        const ModalAnswerer::Message& message = answerer_.messages()[0];
        if (message.objectName != QLatin1String("ConnectionMessage") ||
            message.text != (english ? QLatin1String("Couldn't connect!")
                                     : QStringLiteral("Nie udało się połączyć!")) ||
            message.icon != int(QMessageBox::Information)) {
            return QStringLiteral("(not the connection message: ") + message.text + ')';
        }
        return message.informativeText;
    }

    TemporarySettings settings_;
    ModalAnswerer answerer_;
    QTemporaryDir dir_;
};

QTEST_MAIN(TMainFormConnectionErrorsTest)
#include "tst_TMainFormConnectionErrors.moc"
