#include <sys/resource.h>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>
#include <csignal>
#include <memory>

#include "ScaleSimProcess.h"
#include "TMainForm.h"
#include "TRadioGroup.h"
#include "TestSupport.h"

namespace {

const QByteArray kRecords =
    "4;2024-01-05;08:30:15;12;ANNA;P0001;1.23456;2.5;1.27;kg;2;1\n"
    "3;2024-01-05;12:00:01;11;U01;O'Brien;0.5;0.5;0;g;1;0\n"
    "2;2024-01-04;10:00:00;10;PIOTR;50% off;1.6;2;0.4;lb;1;1\n"
    "1;2023-12-31;23:59:59;9;U02;P0002;3.14159;3.5;0.35841;kg;3;1\n";

QList<QString> firstColumn(const TMainForm& form) {
    QList<QString> ids;
    for (const QStringList& row : gridRows(form)) {
        ids.append(row.first());
    }
    return ids;
}

}  // namespace

class TMainFormFilterExportTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (scaleSimPath().isEmpty() || !QFile::exists(scaleSimPath())) {
            QSKIP("scale-sim is not built");
        }
        const QString records = dir_.filePath(QStringLiteral("records.txt"));
        QFile file(records);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kRecords);
        file.close();
        sim_ = std::make_unique<ScaleSimProcess>(
            scaleSimPath().toStdString(),
            std::vector<std::string>{"--pty", "--records-file", records.toStdString()});
    }

    void init() {
        settings_.clear();
        answerer_.clear();
        form_ = windowAfterRead(QString::fromStdString(sim_->PtyPath()));
        QVERIFY(form_ != nullptr);
        QCOMPARE(form_->stateText(), QStringLiteral("Sukces!"));
        QCOMPARE(count(), QStringLiteral("4"));
    }

    void cleanup() { form_.reset(); }

    void cleanupTestCase() { sim_.reset(); }

    void productAndUserNarrowTheGrid() {
        QTest::keyClicks(edit("leProdukt"), QStringLiteral("P000"));
        QCOMPARE(count(), QStringLiteral("2"));
        QCOMPARE(firstColumn(*form_), (QList<QString>{"1", "4"}));
        QCOMPARE(form_->filterExpression(), QStringLiteral("ID_produktu like '%P000%'"));
        QCOMPARE(child<QTableView>(*form_, "DBGrid1")->toolTip(), form_->filterExpression());
        QTest::keyClicks(edit("leUzytkownik"), QStringLiteral("ANNA"));
        QCOMPARE(firstColumn(*form_), QList<QString>{"4"});
        edit("leProdukt")->clear();
        edit("leUzytkownik")->clear();
        QCOMPARE(count(), QStringLiteral("4"));
        QVERIFY(form_->filterExpression().isEmpty());
    }

    void productTextIsPlainAndCaseSensitive() {
        QTest::keyClicks(edit("leProdukt"), QStringLiteral("O'Brien"));
        QCOMPARE(firstColumn(*form_), QList<QString>{"3"});
        edit("leProdukt")->setText(QStringLiteral("50%"));
        QCOMPARE(firstColumn(*form_), QList<QString>{"2"});
        edit("leProdukt")->setText(QStringLiteral("p0001"));
        QCOMPARE(count(), QStringLiteral("0"));
        QVERIFY(answerer_.messages().empty());
    }

    void massBoundsOnTheChosenField() {
        child<TRadioGroup>(*form_, "rgMasa")
            ->findChild<QRadioButton*>(QStringLiteral("rgMasaItem1"))
            ->click();
        edit("leMasaDo")->setText(QStringLiteral("2"));
        QCOMPARE(form_->filterExpression(), QStringLiteral("Brutto<=2,00"));
        QCOMPARE(firstColumn(*form_), (QList<QString>{"2", "3"}));
        edit("leMasaOd")->setText(QStringLiteral("0,5"));
        QCOMPARE(form_->filterExpression(), QStringLiteral("Brutto>=0,50 and Brutto<=2,00"));
        QCOMPARE(count(), QStringLiteral("2"));
    }

    void invalidMassTextIsReportedAndLeftOut() {
        QTest::keyClicks(edit("leMasaOd"), QStringLiteral("1.5"));
        // "1" is a number; "1." and "1.5" are not under a decimal comma.
        QCOMPARE(answerer_.messages().size(), size_t(2));
        QCOMPARE(answerer_.messages()[0].text,
                 QStringLiteral("W tym polu można wprowadzać tylko cyfry i znak dziesiętny."));
        QVERIFY(form_->filterExpression().isEmpty());
        QCOMPARE(count(), QStringLiteral("4"));
        answerer_.clear();
        // Every run of the filter repeats it while the text stays.
        child<QCheckBox>(*form_, "chbDataDo")->click();
        QCOMPARE(answerer_.messages().size(), size_t(1));
    }

    void recordNumbersFromOne() {
        edit("leIDod")->setText(QStringLiteral("0"));
        QVERIFY(form_->filterExpression().isEmpty());
        edit("leIDod")->setText(QStringLiteral("2"));
        edit("leIDdo")->setText(QStringLiteral("3"));
        QCOMPARE(form_->filterExpression(), QStringLiteral("RecID>=2 and RecID<=3"));
        QCOMPARE(firstColumn(*form_), (QList<QString>{"2", "3"}));
    }

    void dateAndTimeBoundsAreInclusive() {
        child<QDateEdit>(*form_, "dtpDataOd")->setDate(QDate(2024, 1, 5));
        child<QTimeEdit>(*form_, "dtpCzasOd")->setTime(QTime(8, 30, 15));
        child<QCheckBox>(*form_, "chbDataOd")->click();
        QCOMPARE(form_->filterExpression(), QStringLiteral("Data_Czas>='05.01.2024 08:30:15'"));
        QCOMPARE(firstColumn(*form_), (QList<QString>{"3", "4"}));
        child<QDateEdit>(*form_, "dtpDataDo")->setDate(QDate(2024, 1, 5));
        child<QTimeEdit>(*form_, "dtpCzasDo")->setTime(QTime(8, 30, 15));
        child<QCheckBox>(*form_, "chbDataDo")->click();
        QCOMPARE(firstColumn(*form_), QList<QString>{"4"});
    }

    void titleClicksSortAndReverse() {
        QHeaderView* titles = child<QTableView>(*form_, "DBGrid1")->horizontalHeader();
        const int net = 5;
        QTest::mouseClick(titles->viewport(), Qt::LeftButton, {},
                          QPoint(titles->sectionViewportPosition(net) + 5, 5));
        QCOMPARE(firstColumn(*form_), (QList<QString>{"3", "4", "2", "1"}));
        QTest::mouseClick(titles->viewport(), Qt::LeftButton, {},
                          QPoint(titles->sectionViewportPosition(net) + 5, 5));
        QCOMPARE(firstColumn(*form_), (QList<QString>{"1", "2", "4", "3"}));
        QCOMPARE(count(), QStringLiteral("4"));
    }

    void exportWritesTheShownRowsWherePicked() {
        QTemporaryDir folder;
        answerer_.setFileDialogAnswer(folder.filePath(QStringLiteral("data")));
        child<QTableView>(*form_, "DBGrid1")->sortByColumn(0, Qt::DescendingOrder);
        edit("leIDdo")->setText(QStringLiteral("3"));
        child<QPushButton>(*form_, "btnCsvExport")->click();
        const QString written = folder.filePath(QStringLiteral("data.csv"));
        QVERIFY(QFile::exists(written));
        QCOMPARE(fileContents(written),
                 QByteArray("RecID;Data_Czas;Numer;ID_uzytkownika;ID_produktu;Netto;Brutto;Tara;"
                            "Jednostka;Stabilnosc;\r\n"
                            "3;05.01.2024 12:00:01;11;U01;O'Brien;0,5;0,5;0;g;Nie;\r\n"
                            "2;04.01.2024 10:00:00;10;PIOTR;50% off;1,6;2;0,4;lb;Tak;\r\n"
                            "1;31.12.2023 23:59:59;9;U02;P0002;3,142;3,5;0,358;kg;Tak;\r\n"));
        QVERIFY(answerer_.messages().empty());
    }

    void exportReadsBackInPython() {
        const QString python = python3Path();
        if (python.isEmpty()) {
            QSKIP("python3 is not installed");
        }
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("grid.csv"));
        answerer_.setFileDialogAnswer(path);
        child<QPushButton>(*form_, "btnCsvExport")->click();
        QProcess reader;
        reader.start(
            python, {QStringLiteral("-c"),
                     QStringLiteral(
                         "import csv, json, sys\n"
                         "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                         "    print(json.dumps([r[:-1] for r in csv.reader(f, delimiter=';')]))\n"),
                     path});
        QVERIFY(reader.waitForFinished(20000));
        QCOMPARE(reader.exitCode(), 0);
        const QJsonArray rows = QJsonDocument::fromJson(reader.readAllStandardOutput()).array();
        QList<QStringList> read;
        for (const QJsonValue& row : rows) {
            QStringList cells;
            for (const QJsonValue& cell : row.toArray()) {
                cells.append(cell.toString());
            }
            read.append(cells);
        }
        QCOMPARE(read, QList<QStringList>{gridTitles(*form_)} + gridRows(*form_));
    }

    void emptyFilterResultExportsTheHeaderOnly() {
        QTemporaryDir folder;
        answerer_.setFileDialogAnswer(folder.filePath(QStringLiteral("none.CSV")));
        edit("leProdukt")->setText(QStringLiteral("nothing"));
        child<QPushButton>(*form_, "btnCsvExport")->click();
        QCOMPARE(fileContents(folder.filePath(QStringLiteral("none.CSV"))),
                 QByteArray("RecID;Data_Czas;Numer;ID_uzytkownika;ID_produktu;Netto;Brutto;Tara;"
                            "Jednostka;Stabilnosc;\r\n"));
    }

    void cancelledDialogWritesNothing() {
        QTemporaryDir folder;
        answerer_.setFileDialogAnswer(QString());
        child<QPushButton>(*form_, "btnCsvExport")->click();
        QVERIFY(QDir(folder.path()).isEmpty());
        QVERIFY(answerer_.messages().empty());
    }

    void failedWriteIsReportedAndLeavesNoFile() {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("full.csv"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("previous export\r\n");
        old.close();
        answerer_.setFileDialogAnswer(path);
        // The disk "fills up" after 100 bytes, whoever runs the test.
        struct rlimit saved;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        struct rlimit small = saved;
        small.rlim_cur = 100;
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        child<QPushButton>(*form_, "btnCsvExport")->click();
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
        QCOMPARE(answerer_.messages().size(), size_t(1));
        QCOMPARE(answerer_.messages()[0].objectName, QStringLiteral("ExportMessage"));
        QCOMPARE(answerer_.messages()[0].title, QStringLiteral("Błąd!"));
        QVERIFY(answerer_.messages()[0].text.startsWith(path + QLatin1Char('\n')));
        QVERIFY(answerer_.messages()[0].text.size() > path.size() + 1);
        // The earlier file is untouched and no temporary file is left.
        QCOMPARE(fileContents(path), QByteArray("previous export\r\n"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files),
                 QStringList{QStringLiteral("full.csv")});
    }

    void missingFolderIsReported() {
        QTemporaryDir folder;
        const QString missing = folder.filePath(QStringLiteral("missing"));
        answerer_.setFileDialogAnswer(missing + QStringLiteral("/data"));
        child<QPushButton>(*form_, "btnCsvExport")->click();
        QCOMPARE(answerer_.messages().size(), size_t(1));
        QCOMPARE(answerer_.messages()[0].objectName, QStringLiteral("ExportMessage"));
        QVERIFY(answerer_.messages()[0].text.startsWith(missing + QStringLiteral("/data.csv\n")));
        QVERIFY(QDir(folder.path()).isEmpty());
    }

    void closedTableExportsNothing() {
        child<QToolButton>(*form_, "ENG")->click();
        QTemporaryDir folder;
        answerer_.setFileDialogAnswer(folder.filePath(QStringLiteral("data")));
        QVERIFY(child<QPushButton>(*form_, "btnCsvExport")->isEnabled());
        child<QPushButton>(*form_, "btnCsvExport")->click();
        QVERIFY(QDir(folder.path()).isEmpty());
    }

private:
    QLineEdit* edit(const char* name) { return child<QLineEdit>(*form_, name); }
    QString count() { return child<QLabel>(*form_, "lbLiczbaRekordow")->text(); }

    TemporarySettings settings_;
    ModalAnswerer answerer_;
    QTemporaryDir dir_;
    std::unique_ptr<ScaleSimProcess> sim_;
    std::unique_ptr<TMainForm> form_;
};

QTEST_MAIN(TMainFormFilterExportTest)
#include "tst_TMainFormFilterExport.moc"
