#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "RecordTableModel.h"
#include "ScaleSimProcess.h"
#include "TMainForm.h"
#include "TestSupport.h"

namespace {

// Four records sent newest first, numbered from the count down to 1, with
// the awkward cases of a real memory: a two-digit year, an unreadable date, a
// long product, an unknown unit, masses with more digits than their decimals.
const QByteArray kFourRecords =
    "4;2024-01-05;08:30:15;12;ANNA;P0001;1.23456;2.5;1.27;kg;2;1\n"
    "3;24-01-05;12:00:01;11;U01;Żółć;0.5;0.5;0;g;1;0\n"
    "2;2024/01/05;00:00:00;10;PIOTR;ABCDEFGHIJKLMNOPQRST;1.6;1.6;0;lb;0;1\n"
    "1;2023-12-31;23:59:59;9;U02;P0002;3.14159;3.5;0.35841;xx;3;1\n";

}  // namespace

class TMainFormReadTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (scaleSimPath().isEmpty() || !QFile::exists(scaleSimPath())) {
            QSKIP("scale-sim is not built");
        }
        recordsFile_ = dir_.filePath(QStringLiteral("four.txt"));
        QFile file(recordsFile_);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kFourRecords);
    }

    void init() {
        settings_.clear();
        answerer_.clear();
    }

    void cleanup() {
        form_.reset();
        sim_.reset();
    }

    void fullReadInPolish() {
        startScale({"--records-file", recordsFile_.toStdString()});
        QSignalSpy progress(child<QProgressBar>(*form_, "ProgressBar1"),
                            &QProgressBar::valueChanged);
        QVERIFY(readScale(*form_));
        QCOMPARE(form_->stateText(), QStringLiteral("Sukces!"));
        QCOMPARE(gridTitles(*form_),
                 (QStringList{"RecID", "Data_Czas", "Numer", "ID_uzytkownika", "ID_produktu",
                              "Netto", "Brutto", "Tara", "Jednostka", "Stabilnosc"}));
        const QList<QStringList> expected{
            {"1", "31.12.2023 23:59:59", "9", "U02", "P0002", "3,142", "3,5", "0,358", "", "Tak"},
            {"2", "01.01.1970", "10", "PIOTR", "ABCDEFGHIJKLMNOP", "2", "2", "0", "lb", "Tak"},
            {"3", "05.01.2024 12:00:01", "11", "U01", "Żółć", "0,5", "0,5", "0", "g", "Nie"},
            {"4", "05.01.2024 08:30:15", "12", "ANNA", "P0001", "1,23", "2,5", "1,27", "kg",
             "Tak"}};
        QCOMPARE(gridRows(*form_), expected);
        QCOMPARE(child<QLabel>(*form_, "lbTyp")->text(), QStringLiteral("SIM 6/C1"));
        QCOMPARE(child<QLabel>(*form_, "lbNrSeryjny")->text(), QStringLiteral("560123"));
        QCOMPARE(child<QLabel>(*form_, "lbDataProdukcji")->text(), QStringLiteral("2019-03-01"));
        QCOMPARE(child<QLabel>(*form_, "lbLiczbaRekordow")->text(), QStringLiteral("4"));
        QCOMPARE(form_->alibiCount(), qint64(4));
        QVERIFY(child<QPushButton>(*form_, "btnCsvExport")->isEnabled());
        // Records arriving, then the copy into the table, then the reset.
        QList<int> values;
        for (const QList<QVariant>& change : progress) {
            values.append(change.first().toInt());
        }
        QCOMPARE(values, (QList<int>{25, 50, 75, 0, 25, 50, 75, 0}));
    }

    void fullReadInEnglish() {
        startScale({"--records-file", recordsFile_.toStdString()});
        child<QToolButton>(*form_, "ENG")->click();
        form_->setDisplayFormats(DisplayFormats(QLocale(QLocale::English, QLocale::UnitedStates)));
        QVERIFY(readScale(*form_));
        QCOMPARE(form_->stateText(), QStringLiteral("Success!"));
        QCOMPARE(gridTitles(*form_),
                 (QStringList{"RecID", "Date_Time", "Number", "UserID", "ProductID", "Net", "Gross",
                              "Tare", "Unit", "Stability"}));
        const QList<QStringList> rows = gridRows(*form_);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[3], (QStringList{"4", "1/5/24 8:30:15 AM", "12", "ANNA", "P0001", "1.23",
                                       "2.5", "1.27", "kg", "Yes"}));
        QCOMPARE(rows[2][9], QStringLiteral("No"));
    }

    void generatedMemoryReadsCompletely() {
        startScale({"--records", "300", "--seed", "7"});
        QVERIFY(readScale(*form_));
        QCOMPARE(form_->stateText(), QStringLiteral("Sukces!"));
        const QList<QStringList> rows = gridRows(*form_);
        QCOMPARE(rows.size(), 300);
        // Newest first: the rows run from record 1 up to the count.
        QCOMPARE(rows.first().first(), QStringLiteral("1"));
        QCOMPARE(rows.last().first(), QStringLiteral("300"));
    }

    void ethernetChoiceReadsOverTcp() {
        sim_ = std::make_unique<ScaleSimProcess>(
            scaleSimPath().toStdString(),
            std::vector<std::string>{"--tcp", "127.0.0.81:0", "--records-file",
                                     recordsFile_.toStdString()});
        form_ = std::make_unique<TMainForm>(QStringList{libraryDir()});
        form_->setDisplayFormats(polishFormats());
        child<QRadioButton>(*form_, "Eth")->click();
        child<QLineEdit>(*form_, "ip")->setText(QString::fromStdString(sim_->TcpAddress()));
        child<QLineEdit>(*form_, "port")->setText(QString::number(sim_->TcpPort()));
        QVERIFY(readScale(*form_));
        QCOMPARE(form_->stateText(), QStringLiteral("Sukces!"));
        const QList<QStringList> rows = gridRows(*form_);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[3][4], QStringLiteral("P0001"));
    }

    void readAnnouncingNoRecordsKeepsTheTable() {
        startScale({"--records-file", recordsFile_.toStdString()});
        QVERIFY(readScale(*form_));
        sim_.reset();
        startScale({"--records", "0"}, false);
        QVERIFY(readScale(*form_));
        QCOMPARE(form_->stateText(), QStringLiteral("Sukces!"));
        QCOMPARE(gridRows(*form_).size(), 4);
        QCOMPARE(form_->alibiCount(), qint64(0));
    }

    void failedConnection_data() {
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::newRow("Polish") << false << "Nie udało się połączyć!"
                                << "Błąd!";
        QTest::newRow("English") << true << "Couldn't connect!"
                                 << "Error!";
    }

    void failedConnection() {
        QFETCH(bool, english);
        QFETCH(QString, text);
        QFETCH(QString, caption);
        presetSerialConnection(dir_.filePath(QStringLiteral("no-such-port")));
        form_ = std::make_unique<TMainForm>(QStringList{libraryDir()});
        if (english) {
            child<QToolButton>(*form_, "ENG")->click();
        }
        QVERIFY(readScale(*form_, 10000));
        QCOMPARE(form_->stateText(), caption);
        QCOMPARE(answerer_.messages().size(), size_t(1));
        QCOMPARE(answerer_.messages()[0].text, text);
        QCOMPARE(answerer_.messages()[0].title, caption);
        QCOMPARE(answerer_.messages()[0].icon, int(QMessageBox::Information));
        QVERIFY(!child<QPushButton>(*form_, "btnCsvExport")->isEnabled());
    }

    void unknownLastColumnBecomesAField() {
        startScale({"--records-file", recordsFile_.toStdString(), "--header",
                    "REC_ID;TIME;NUM;USER_ID;PROD_ID;NET;GROSS;TARE;UNIT;STB;XYZ"});
        QVERIFY(readScale(*form_));
        QCOMPARE(form_->stateText(), QStringLiteral("Sukces!"));
        const QStringList titles = gridTitles(*form_);
        QCOMPARE(titles.size(), 11);
        QCOMPARE(titles.last(), QStringLiteral("XYZ"));
        QCOMPARE(gridRows(*form_).first().last(), QString());
    }

    void duplicateColumnNameEndsInError() {
        startScale(
            {"--records-file", recordsFile_.toStdString(), "--header", "REC_ID;NET;NET;STB"});
        QVERIFY(readScale(*form_));
        QCOMPARE(form_->stateText(), QStringLiteral("Błąd!"));
        QVERIFY(answerer_.messages().empty());
        QVERIFY(!child<RecordTableModel>(*form_, "ClientDataSet1")->isOpen());
        QCOMPARE(child<QLabel>(*form_, "lbLiczbaRekordow")->text(), QStringLiteral("4"));
    }

    void fewerRecordsThanAnnouncedKeepsEveryRecord() {
        const QString path = dir_.filePath(QStringLiteral("short.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QList<QByteArray> lines = kFourRecords.split('\n');
        file.write(lines[0] + '\n' + lines[1] + "\nMalibiprn\n");
        file.close();
        startScale({"--records-file", path.toStdString()});
        QVERIFY(readScale(*form_));
        QCOMPARE(form_->stateText(), QStringLiteral("Niekompletny!"));
        QCOMPARE(form_->alibiCount(), qint64(3));
        QCOMPARE(gridRows(*form_).size(), 2);
        QVERIFY(child<QPushButton>(*form_, "btnCsvExport")->isEnabled());
        QCOMPARE(answerer_.messages().size(), size_t(1));
        QCOMPARE(answerer_.messages()[0].text,
                 QStringLiteral("Zapowiedziano rekordów: 3, odebrano: 2, nieczytelnych: 0.\n"
                                "Każdy rekord, który dało się odczytać, jest w tabeli."));
    }

    // Lines the scale spoiled cost only themselves: every other record is
    // kept, and the operator learns how many were announced, received and
    // unreadable, and which.
    void spoiledLinesKeepEveryOtherRecord_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("message");
        QTest::newRow("a time that does not exist")
            << QStringList{"--records-file", badTimeFile()} << 3
            << QStringLiteral(
                   "Zapowiedziano rekordów: 4, odebrano: 4, nieczytelnych: 1.\n"
                   "Nie udało się odczytać rekordów nr: 3.\n"
                   "Każdy rekord, który dało się odczytać, jest w tabeli.");
        QTest::newRow("a line without its CR LF")
            << QStringList{"--records", "20", "--unterminated-at", "record:5"} << 18
            << QStringLiteral(
                   "Zapowiedziano rekordów: 20, odebrano: 19, nieczytelnych: 1.\n"
                   "Nie udało się odczytać rekordów nr: 16.\n"
                   "Każdy rekord, który dało się odczytać, jest w tabeli.");
        QTest::newRow("records after a count of none")
            << QStringList{"--records", "3", "--announce", "0"} << 3
            << QStringLiteral(
                   "Zapowiedziano rekordów: 0, odebrano: 3, nieczytelnych: 0.\n"
                   "Każdy rekord, który dało się odczytać, jest w tabeli.");
    }

    void spoiledLinesKeepEveryOtherRecord() {
        QFETCH(QStringList, args);
        QFETCH(int, rows);
        QFETCH(QString, message);
        startScale(toStd(args));
        QVERIFY(readScale(*form_));
        QCOMPARE(form_->stateText(), QStringLiteral("Niekompletny!"));
        QCOMPARE(gridRows(*form_).size(), rows);
        QCOMPARE(child<QLabel>(*form_, "lbLiczbaRekordow")->text(), QString::number(rows));
        QVERIFY(child<QPushButton>(*form_, "btnCsvExport")->isEnabled());
        QCOMPARE(answerer_.messages().size(), size_t(1));
        QCOMPARE(answerer_.messages()[0].objectName, QStringLiteral("ReadOutcomeMessage"));
        QCOMPARE(answerer_.messages()[0].text, message);
        QCOMPARE(answerer_.messages()[0].title, QStringLiteral("Niekompletny!"));
    }

    // What the library stores of a runaway or a doubled line is its own
    // affair; the window keeps what it stored, says what it got, and never
    // calls it a success.
    void linesTheLibraryMayLoseAreAccountedFor_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("a line of a mebibyte")
            << QStringList{"--records", "20", "--oversized-at", "record:5"};
        QTest::newRow("a line sent twice")
            << QStringList{"--records", "20", "--repeat-at", "record:5"};
    }

    void linesTheLibraryMayLoseAreAccountedFor() {
        QFETCH(QStringList, args);
        startScale(toStd(args));
        form_->readSession().setSilenceLimit(std::chrono::milliseconds(1000));
        QVERIFY(readScale(*form_));
        QVERIFY(form_->stateText() != QStringLiteral("Sukces!"));
        QCOMPARE(answerer_.messages().size(), size_t(1));
        const QString text = answerer_.messages()[0].text;
        const QRegularExpressionMatch counts =
            QRegularExpression(QStringLiteral("Zapowiedziano rekordów: 20, odebrano: (\\d+), "
                                              "nieczytelnych: (\\d+)\\."))
                .match(text);
        QVERIFY2(counts.hasMatch(), qPrintable(text));
        const int received = counts.captured(1).toInt();
        const int unreadable = counts.captured(2).toInt();
        QVERIFY2(received != 20 || unreadable > 0, qPrintable(text));
        QCOMPARE(gridRows(*form_).size(), received - unreadable);
    }

    // A scale's count is only its word: memory follows the records that came.
    void announcedCountReservesNothing() {
        // A first read sets up what any read needs (threads, their memory).
        startScale({"--records", "3"});
        QVERIFY(readScale(*form_));
        sim_.reset();
        startScale({"--records", "3", "--announce", "4000000"}, false);
        const qint64 before = processMemoryKb("VmSize:");
        QVERIFY(readScale(*form_));
        QCOMPARE(gridRows(*form_).size(), 3);
        QCOMPARE(form_->stateText(), QStringLiteral("Niekompletny!"));
        // Reserving for four million rows takes half a gigabyte of address
        // space at its peak, touched or not.
        const qint64 grownKb = processMemoryKb("VmPeak:") - before;
        QVERIFY2(grownKb < 100 * 1024, qPrintable(QString::number(grownKb)));
    }

    void silentScaleEndsAfterFiveSeconds() {
        startScale({"--records", "6", "--silent-at", "record:3"});
        QElapsedTimer clock;
        clock.start();
        QVERIFY(readScale(*form_, 20000));
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(form_->stateText(), QStringLiteral("Błąd!"));
        QVERIFY2(elapsed >= 4500, qPrintable(QString::number(elapsed)));
        QVERIFY(!form_->readSession().isRunning());
        // The line is free again: a read of a good scale works.
        sim_.reset();
        startScale({"--records", "3"}, false);
        QVERIFY(readScale(*form_));
        QCOMPARE(form_->stateText(), QStringLiteral("Sukces!"));
    }

    void languageSwitchEmptiesTheTableAndRenamesTheNextRead() {
        startScale({"--records-file", recordsFile_.toStdString()});
        QVERIFY(readScale(*form_));
        child<QToolButton>(*form_, "ENG")->click();
        QCOMPARE(gridTitles(*form_), QStringList());
        QCOMPARE(gridRows(*form_).size(), 0);
        QCOMPARE(child<QLabel>(*form_, "lbLiczbaRekordow")->text(), QStringLiteral("---"));
        QVERIFY(readScale(*form_));
        QCOMPARE(gridTitles(*form_).at(5), QStringLiteral("Net"));
    }

    void languageSwitchDuringAReadKeepsTheRecords_data() {
        QTest::addColumn<bool>("afterColumnLine");
        QTest::newRow("before the column line") << false;
        QTest::newRow("after the column line") << true;
    }

    void languageSwitchDuringAReadKeepsTheRecords() {
        QFETCH(bool, afterColumnLine);
        // Paced at the real line rate, the read lasts long enough to switch.
        startScale({"--records", "400", "--pace"});
        QTest::mouseClick(child<QPushButton>(*form_, "btnOdczytaj"), Qt::LeftButton);
        auto* table = child<RecordTableModel>(*form_, "ClientDataSet1");
        if (afterColumnLine) {
            QTRY_VERIFY_WITH_TIMEOUT(table->isOpen(), 10000);
        }
        child<QToolButton>(*form_, "ENG")->click();
        QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>(*form_, "btnOdczytaj")->isEnabled(), 30000);
        // The state is told in the language in force when it is reached, and
        // the records stay, named in that language.
        QCOMPARE(form_->stateText(), QStringLiteral("Success!"));
        QCOMPARE(gridTitles(*form_),
                 (QStringList{"RecID", "Date_Time", "Number", "UserID", "ProductID", "Net", "Gross",
                              "Tare", "Unit", "Stability"}));
        const QList<QStringList> rows = gridRows(*form_);
        QCOMPARE(rows.size(), 400);
        QSet<QString> stability;
        for (const QStringList& row : rows) {
            stability.insert(row.last());
        }
        QVERIFY2(stability.contains(QStringLiteral("Yes")),
                 qPrintable(stability.values().join(',')));
        QVERIFY(!stability.contains(QStringLiteral("Tak")));
        QVERIFY(!stability.contains(QStringLiteral("Nie")));
        QCOMPARE(child<QLabel>(*form_, "lbLiczbaRekordow")->text(), QStringLiteral("400"));
    }

private:
    // A line of /proc/self/status in kB, such as "VmPeak:".
    static qint64 processMemoryKb(const char* field) {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly)) {
            return 0;
        }
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith(field)) {
                return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
            }
        }
        return 0;
    }

    static std::vector<std::string> toStd(const QStringList& args) {
        std::vector<std::string> list;
        for (const QString& arg : args) {
            list.push_back(arg.toStdString());
        }
        return list;
    }

    // The four records with record 3 weighed at an hour that does not exist.
    QString badTimeFile() {
        const QString path = dir_.filePath(QStringLiteral("bad-time.txt"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) {
            QByteArray records = kFourRecords;
            records.replace("12:00:01", "25:00:00");
            file.write(records);
        }
        return path;
    }

    // Starts the simulator on a pseudo-terminal and, unless told otherwise, a
    // window set up to read it; a later call points the window at a new one.
    void startScale(std::vector<std::string> args, bool newWindow = true) {
        args.insert(args.begin(), "--pty");
        sim_ = std::make_unique<ScaleSimProcess>(scaleSimPath().toStdString(), args);
        const QString port = QString::fromStdString(sim_->PtyPath());
        if (newWindow) {
            presetSerialConnection(port);
            form_ = std::make_unique<TMainForm>(QStringList{libraryDir()});
            form_->setDisplayFormats(polishFormats());
        } else {
            child<QComboBox>(*form_, "availCom")->setEditText(port);
        }
    }

    TemporarySettings settings_;
    ModalAnswerer answerer_;
    QTemporaryDir dir_;
    QString recordsFile_;
    std::unique_ptr<ScaleSimProcess> sim_;
    std::unique_ptr<TMainForm> form_;
};

QTEST_MAIN(TMainFormReadTest)
#include "tst_TMainFormRead.moc"
