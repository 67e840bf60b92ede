#include <sys/resource.h>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTest>
#include <csignal>

#include "CsvExport.h"
#include "RecordFilterProxy.h"
#include "RecordTableModel.h"
#include "TestSupport.h"

namespace {

std::vector<TestRecord> twoRecords() {
    TestRecord first;
    first.recordId = 1;
    first.date = "2024-01-05";
    first.time = "00:00:00";
    first.userId = "ANNA";
    first.productId = "P0001";
    first.net = 1.5f;
    first.gross = 2.0f;
    first.tare = 0.5f;
    first.decimals = 3;
    TestRecord second = first;
    second.recordId = 2;
    second.time = "08:30:15";
    second.productId = "A;B \"x\"";
    second.net = 12.25f;
    second.stable = false;
    return {first, second};
}

}  // namespace

class CsvExportTest : public QObject {
    Q_OBJECT

private slots:
    void fileNames_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("bare") << "/tmp/out/data"
                              << "/tmp/out/data.csv";
        QTest::newRow("upper case") << "/tmp/out/data.CSV"
                                    << "/tmp/out/data.CSV";
        QTest::newRow("csv inside") << "/tmp/out/report.csv.txt"
                                    << "/tmp/out/report.csv.txt";
        QTest::newRow("folder named csv") << "/tmp/x.csv/data"
                                          << "/tmp/x.csv/data.csv";
    }

    void fileNames() {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        QCOMPARE(csvFileNameFor(chosen), written);
    }

    void headerLines_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArray>("stable");
        QTest::newRow("Polish")
            << int(Language::Polish)
            << QByteArray(
                   "RecID;Data_Czas;Numer;ID_uzytkownika;ID_produktu;Netto;Brutto;Tara;"
                   "Jednostka;Stabilnosc;\r\n")
            << QByteArray("Tak;\r\n");
        QTest::newRow("English")
            << int(Language::English)
            << QByteArray(
                   "RecID;Date_Time;Number;UserID;ProductID;Net;Gross;Tare;Unit;"
                   "Stability;\r\n")
            << QByteArray("Yes;\r\n");
    }

    void headerLines() {
        QFETCH(int, language);
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, stable);
        RecordTableModel table;
        table.setDisplayFormats(polishFormats());
        loadRecords(table, twoRecords(), static_cast<Language>(language), polishFormats());
        RecordFilterProxy shown(&table);
        const QString path = dir_.filePath(QStringLiteral("header.csv"));
        QVERIFY(ExportGridToCsv(shown, table, path).ok);
        const QByteArray bytes = fileContents(path);
        QVERIFY(bytes.startsWith(header));
        QVERIFY(bytes.endsWith(stable));
    }

    void rowsAreWrittenExactly() {
        RecordTableModel table;
        table.setDisplayFormats(polishFormats());
        loadRecords(table, twoRecords(), Language::Polish, polishFormats());
        RecordFilterProxy shown(&table);
        const QString path = dir_.filePath(QStringLiteral("rows.csv"));
        QVERIFY(ExportGridToCsv(shown, table, path).ok);
        const QByteArray expected =
            "RecID;Data_Czas;Numer;ID_uzytkownika;ID_produktu;Netto;Brutto;Tara;Jednostka;"
            "Stabilnosc;\r\n"
            "2;05.01.2024 08:30:15;3;ANNA;\"A;B \"\"x\"\"\";12,25;2;0,5;kg;Nie;\r\n"
            "1;05.01.2024;3;ANNA;P0001;1,5;2;0,5;kg;Tak;\r\n";
        QCOMPARE(fileContents(path), expected);
    }

    // Spreadsheets read a number only with an ASCII minus; the grid may show
    // the locale's own sign (U+2212 in Swedish and Finnish, for example).
    void negativeMassesGetAnAsciiMinus_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("Swedish") << QLocale(QLocale::Swedish, QLocale::Sweden);
        QTest::newRow("Finnish") << QLocale(QLocale::Finnish, QLocale::Finland);
        QTest::newRow("Polish") << QLocale(QLocale::Polish, QLocale::Poland);
    }

    void negativeMassesGetAnAsciiMinus() {
        QFETCH(QLocale, locale);
        const DisplayFormats formats(locale, QStringLiteral("yyyy-MM-dd"),
                                     QStringLiteral("HH:mm:ss"));
        TestRecord record;
        record.net = -1.5f;
        record.gross = 0.5f;
        record.tare = 2.0f;
        record.decimals = 1;
        record.productId =
            "\xe2\x88\x92"
            "7";  // a text keeps its sign as typed
        RecordTableModel table;
        table.setDisplayFormats(formats);
        loadRecords(table, {record}, Language::Polish, formats);
        QCOMPARE(table.cellText(0, 5), locale.negativeSign() + QStringLiteral("1,5"));
        RecordFilterProxy shown(&table);
        const QString path = dir_.filePath(QStringLiteral("minus.csv"));
        QVERIFY(ExportGridToCsv(shown, table, path).ok);
        const QList<QByteArray> lines = fileContents(path).split('\n');
        QCOMPARE(lines[1], QByteArray("1;2024-01-05 12:00:01;3;U1;\xe2\x88\x92"
                                      "7;-1,5;0,5;2;kg;Tak;\r"));
    }

    void filteredAndSortedRowsAreWhatIsWritten() {
        RecordTableModel table;
        table.setDisplayFormats(polishFormats());
        loadRecords(table, twoRecords(), Language::Polish, polishFormats());
        RecordFilterProxy shown(&table);
        shown.sort(0, Qt::AscendingOrder);
        const QString sorted = dir_.filePath(QStringLiteral("sorted.csv"));
        QVERIFY(ExportGridToCsv(shown, table, sorted).ok);
        const QList<QByteArray> lines = fileContents(sorted).split('\n');
        QVERIFY(lines[1].startsWith("1;"));
        QVERIFY(lines[2].startsWith("2;"));

        FilterInputs inputs;
        inputs.product = QStringLiteral("nothing");
        shown.setCriteria(buildRecordFilter(inputs, LanguageTexts(), polishFormats()).criteria);
        const QString empty = dir_.filePath(QStringLiteral("empty.csv"));
        QVERIFY(ExportGridToCsv(shown, table, empty).ok);
        QCOMPARE(fileContents(empty),
                 QByteArray("RecID;Data_Czas;Numer;ID_uzytkownika;ID_produktu;Netto;Brutto;Tara;"
                            "Jednostka;Stabilnosc;\r\n"));
    }

    void utf8WithoutBom() {
        RecordTableModel table;
        TestRecord record;
        record.userId = "Łukasz";
        loadRecords(table, {record}, Language::Polish, polishFormats());
        RecordFilterProxy shown(&table);
        const QString path = dir_.filePath(QStringLiteral("utf8.csv"));
        QVERIFY(ExportGridToCsv(shown, table, path).ok);
        const QByteArray bytes = fileContents(path);
        QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
        QVERIFY(bytes.contains(QStringLiteral("Łukasz").toUtf8()));
    }

    void existingFileIsReplaced() {
        const QString path = dir_.filePath(QStringLiteral("replace.csv"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(10000, '#'));
        old.close();
        RecordTableModel table;
        loadRecords(table, twoRecords(), Language::Polish, polishFormats());
        RecordFilterProxy shown(&table);
        QVERIFY(ExportGridToCsv(shown, table, path).ok);
        QVERIFY(!fileContents(path).contains('#'));
    }

    void unwritableFolderLeavesNoFile() {
        RecordTableModel table;
        loadRecords(table, twoRecords(), Language::Polish, polishFormats());
        RecordFilterProxy shown(&table);
        // A folder whose place is taken by a file cannot hold the export.
        QTemporaryDir parent;
        const QString blocker = parent.filePath(QStringLiteral("not-a-folder"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString path = blocker + QStringLiteral("/data.csv");
        const CsvExportResult result = ExportGridToCsv(shown, table, path);
        QVERIFY(!result.ok);
        QVERIFY(!result.error.isEmpty());
        QVERIFY(!QFile::exists(path));
        QCOMPARE(QDir(parent.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("not-a-folder")});

        // A read-only folder: the temporary file cannot be made either.
        QTemporaryDir readOnly;
        QFile::setPermissions(readOnly.path(), QFile::ReadOwner | QFile::ExeOwner);
        const bool writableAnyway = QFileInfo(readOnly.path()).isWritable();  // root
        const QString inReadOnly = readOnly.filePath(QStringLiteral("data.csv"));
        const bool refused = !ExportGridToCsv(shown, table, inReadOnly).ok;
        QFile::setPermissions(readOnly.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (writableAnyway) {
            QSKIP("this user writes into read-only folders");
        }
        QVERIFY(refused);
        QVERIFY(QDir(readOnly.path()).isEmpty());
    }

    void writeFailurePartWayKeepsTheOldFile() {
        std::vector<TestRecord> records(30000);
        for (size_t i = 0; i < records.size(); ++i) {
            records[i].recordId = static_cast<qint64>(i + 1);
        }
        RecordTableModel table;
        loadRecords(table, records, Language::Polish, polishFormats());
        RecordFilterProxy shown(&table);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("big.csv"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old\r\n");
        old.close();
        // The file system refuses more than 256 KiB, well before the end.
        struct rlimit saved;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        struct rlimit small = saved;
        small.rlim_cur = 256 * 1024;
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const CsvExportResult result = ExportGridToCsv(shown, table, path);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
        QVERIFY(!result.ok);
        QVERIFY(!result.error.isEmpty());
        QCOMPARE(fileContents(path), QByteArray("old\r\n"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files),
                 QStringList{QStringLiteral("big.csv")});
    }

    void pythonCsvReadsBackTheCells() {
        const QString python = python3Path();
        if (python.isEmpty()) {
            QSKIP("python3 is not installed");
        }
        std::vector<TestRecord> records = twoRecords();
        TestRecord awkward;
        awkward.recordId = 3;
        awkward.userId = "line\nbreak";
        awkward.productId = "\"quoted\";";
        records.push_back(awkward);
        RecordTableModel table;
        table.setDisplayFormats(polishFormats());
        loadRecords(table, records, Language::Polish, polishFormats());
        RecordFilterProxy shown(&table);
        const QString path = dir_.filePath(QStringLiteral("python.csv"));
        QVERIFY(ExportGridToCsv(shown, table, path).ok);

        QProcess reader;
        reader.start(python,
                     {QStringLiteral("-c"),
                      QStringLiteral("import csv, json, sys\n"
                                     "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                     "    print(json.dumps(list(csv.reader(f, delimiter=';'))))\n"),
                      path});
        QVERIFY(reader.waitForFinished(20000));
        QCOMPARE(reader.exitCode(), 0);
        const QJsonArray rows = QJsonDocument::fromJson(reader.readAllStandardOutput()).array();
        QCOMPARE(rows.size(), table.rowCount() + 1);
        for (int row = 0; row <= table.rowCount(); ++row) {
            const QJsonArray cells = rows[row].toArray();
            // Every line ends with ";": one empty item follows the last column.
            QCOMPARE(cells.size(), table.columnCount() + 1);
            QCOMPARE(cells.last().toString(), QString());
            for (int column = 0; column < table.columnCount(); ++column) {
                const QString expected = row == 0
                                             ? table.headerData(column, Qt::Horizontal).toString()
                                             : table.cellText(row - 1, column);
                QCOMPARE(cells[column].toString(), expected);
            }
        }
    }

private:
    QTemporaryDir dir_;
};

QTEST_GUILESS_MAIN(CsvExportTest)
#include "tst_CsvExport.moc"
