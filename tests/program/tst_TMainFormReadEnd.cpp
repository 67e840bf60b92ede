#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "ScaleSimProcess.h"
#include "TMainForm.h"
#include "TestSupport.h"

// How a read ends when it does not simply succeed: a scale that does not
// answer, no connection chosen, the operator's stop; and what the status bar
// says while a read runs.
class TMainFormReadEndTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (scaleSimPath().isEmpty() || !QFile::exists(scaleSimPath())) {
            QSKIP("scale-sim is not built");
        }
    }

    void init() {
        settings_.clear();
        answerer_.clear();
    }

    void cleanup() {
        form_.reset();
        sim_.reset();
    }

    void silentScaleIsExplained_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QString>("counts");
        const QString polishHint = QStringLiteral(
            "Waga nie odpowiada. Sprawdź kabel, port i prędkość.\n"
            "Ustawienia połączenia: Port %1, Prędkość 9600, Ilość bitów 8, Parzystość None");
        const QString englishHint = QStringLiteral(
            "The scale did not answer. Check the cable, the port and the speed.\n"
            "Connection settings: Port %1, Baudrate 9600, Number of bits 8, Parity None");
        QTest::newRow("no identity, Polish")
            << "salibiprn" << false << "Błąd!" << polishHint << QString();
        QTest::newRow("no identity, English")
            << "salibiprn" << true << "Error!" << englishHint << QString();
        QTest::newRow("silent after two records")
            << "record:3" << false << "Błąd!" << polishHint
            << "Zapowiedziano rekordów: 6, odebrano: 2, nieczytelnych: 0.\n"
               "Każdy rekord, który dało się odczytać, jest w tabeli.";
    }

    void silentScaleIsExplained() {
        QFETCH(QString, fault);
        QFETCH(bool, english);
        QFETCH(QString, title);
        QFETCH(QString, hint);
        QFETCH(QString, counts);
        startScale({"--records", "6", "--silent-at", fault.toStdString()});
        if (english) {
            child<QToolButton>(*form_, "ENG")->click();
        }
        form_->readSession().setSilenceLimit(std::chrono::milliseconds(1000));
        QVERIFY(readScale(*form_, 20000));
        QCOMPARE(form_->stateText(), title);
        QCOMPARE(answerer_.messages().size(), size_t(1));
        const ModalAnswerer::Message& message = answerer_.messages()[0];
        QCOMPARE(message.objectName, QStringLiteral("NoAnswerMessage"));
        QCOMPARE(message.title, title);
        QString expected = hint.arg(QString::fromStdString(sim_->PtyPath()));
        if (!counts.isEmpty()) {
            expected += QStringLiteral("\n\n") + counts;
        }
        QCOMPARE(message.text, expected);
        QCOMPARE(gridRows(*form_).size(), counts.isEmpty() ? 0 : 2);
    }

    void withoutAConnectionKindTheSettingsAsk() {
        form_ = std::make_unique<TMainForm>(QStringList{libraryDir()});
        auto* settings = child<QWidget>(*form_, "PanUstawienia");
        QVERIFY(settings->isHidden());
        QTest::mouseClick(child<QPushButton>(*form_, "btnOdczytaj"), Qt::LeftButton);
        QVERIFY(!settings->isHidden());
        QCOMPARE(answerer_.messages().size(), size_t(1));
        QCOMPARE(answerer_.messages()[0].text,
                 QStringLiteral("Wybierz rodzaj połączenia: COM, USB lub Ethernet."));
        // Nothing was read: no state, and the button is ready.
        QCOMPARE(form_->stateText(), QString());
        QVERIFY(child<QPushButton>(*form_, "btnOdczytaj")->isEnabled());
    }

    void stopEndsAReadAndTheNextOneWorks_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("readAgain");
        // The library ends the transfer after the next record.
        QTest::newRow("records flowing") << QStringList{"--records", "300", "--pace"} << true;
        // No record comes any more: the listener is stopped.
        QTest::newRow("scale gone silent")
            << QStringList{"--records", "50", "--silent-at", "record:10"} << false;
    }

    void stopEndsAReadAndTheNextOneWorks() {
        QFETCH(QStringList, args);
        QFETCH(bool, readAgain);
        std::vector<std::string> simArgs;
        for (const QString& arg : args) {
            simArgs.push_back(arg.toStdString());
        }
        startScale(simArgs);
        auto* read = child<QPushButton>(*form_, "btnOdczytaj");
        auto* stop = child<QPushButton>(*form_, "btnPrzerwij");
        QVERIFY(stop->isHidden());
        QTest::mouseClick(read, Qt::LeftButton);
        QVERIFY(!stop->isHidden());  // shown with its window
        QVERIFY(stop->isEnabled());
        QCOMPARE(stop->text(), QStringLiteral("Przerwij"));
        QVERIFY(!read->isEnabled());
        // Some records are in.
        QTRY_VERIFY_WITH_TIMEOUT(form_->readSession().receivedLineCount() >= 5, 10000);
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(stop, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return read->isEnabled(); }, 5000));
        const qint64 stoppedMs = clock.elapsed();
        qInfo("the read ended %lld ms after the stop", stoppedMs);
        QVERIFY2(stoppedMs <= 1000, qPrintable(QString::number(stoppedMs)));
        QCOMPARE(form_->stateText(), QStringLiteral("Przerwano"));
        QVERIFY(stop->isHidden());
        QVERIFY(answerer_.messages().empty());
        // The records that came before the stop are kept.
        QVERIFY(gridRows(*form_).size() >= 5);
        if (readAgain) {
            // The scale was left in the middle of its transfer.
            QVERIFY(readScale(*form_));
            QCOMPARE(form_->stateText(), QStringLiteral("Sukces!"));
            QCOMPARE(gridRows(*form_).size(), 300);
        }
    }

    void statusBarShowsRecordsAndTimeLeft() {
        startScale({"--records", "20000", "--pace"});
        auto* pace = child<QLabel>(*form_, "ReadPacePanel");
        QVERIFY(pace->isHidden());
        QTest::mouseClick(child<QPushButton>(*form_, "btnOdczytaj"), Qt::LeftButton);
        // "12 345 / 20 000 · 3 min", in the locale's number format.
        QLocale locale = polishFormats().locale();
        locale.setNumberOptions(QLocale::DefaultNumberOptions);
        const QRegularExpression format(
            QStringLiteral("^(.+) / %1 · (\\d+) (s|min)$")
                .arg(QRegularExpression::escape(locale.toString(20000))));
        QTRY_VERIFY_WITH_TIMEOUT(format.match(pace->text()).hasMatch(), 10000);
        QVERIFY(!pace->isHidden());
        const QRegularExpressionMatch match = format.match(pace->text());
        bool ok = false;
        const int received = locale.toInt(match.captured(1), &ok);
        QVERIFY2(ok && received > 0 && received < 20000, qPrintable(pace->text()));
        // Twenty thousand records at the line rate take minutes.
        QCOMPARE(match.captured(3), QStringLiteral("min"));
        QTest::mouseClick(child<QPushButton>(*form_, "btnPrzerwij"), Qt::LeftButton);
        QVERIFY(readEnds());
        QVERIFY(pace->isHidden());
    }

private:
    bool readEnds() {
        return QTest::qWaitFor(
            [&] { return child<QPushButton>(*form_, "btnOdczytaj")->isEnabled(); }, 10000);
    }

    void startScale(std::vector<std::string> args) {
        args.insert(args.begin(), "--pty");
        sim_ = std::make_unique<ScaleSimProcess>(scaleSimPath().toStdString(), args);
        presetSerialConnection(QString::fromStdString(sim_->PtyPath()));
        form_ = std::make_unique<TMainForm>(QStringList{libraryDir()});
        form_->setDisplayFormats(polishFormats());
    }

    TemporarySettings settings_;
    ModalAnswerer answerer_;
    std::unique_ptr<ScaleSimProcess> sim_;
    std::unique_ptr<TMainForm> form_;
};

QTEST_MAIN(TMainFormReadEndTest)
#include "tst_TMainFormReadEnd.moc"
