#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include "RecordConversion.h"
#include "RecordTableModel.h"
#include "TestSupport.h"

namespace {

std::vector<TestRecord> threeRecords() {
    TestRecord a;
    a.recordId = 1;
    a.date = "2024-01-04";
    a.time = "00:00:00";
    a.userId = "ANNA";
    a.productId = "P0001";
    a.net = 1.5f;
    TestRecord b = a;
    b.recordId = 2;
    b.date = "2024-01-05";
    b.time = "08:30:15";
    b.userId = "U01";
    b.net = 12.25f;
    b.decimals = 2;
    TestRecord c = b;
    c.recordId = 3;
    c.userId = "piotr";
    c.net = 0.125f;
    c.stable = false;
    return {a, b, c};
}

}  // namespace

class RecordTableModelTest : public QObject {
    Q_OBJECT

private slots:
    void closedTableHasNoColumnsOrRows() {
        RecordTableModel table;
        QAbstractItemModelTester tester(&table,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(!table.isOpen());
        QCOMPARE(table.rowCount(), 0);
        QCOMPARE(table.columnCount(), 0);
        loadRecords(table, threeRecords(), Language::Polish, polishFormats());
        table.closeTable();
        QVERIFY(!table.isOpen());
        QCOMPARE(table.rowCount(), 0);
        QCOMPARE(table.columnCount(), 0);
    }

    void definedTableIsOpenAndEmpty() {
        RecordTableModel table;
        QAbstractItemModelTester tester(&table,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        table.defineFields(standardLayout(Language::English));
        QVERIFY(table.isOpen());
        QCOMPARE(table.rowCount(), 0);
        QCOMPARE(table.columnCount(), 10);
        QCOMPARE(table.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Date_Time"));
        QVERIFY(!table.headerData(10, Qt::Horizontal).isValid());
    }

    void rowsLoadInOneReset() {
        RecordTableModel table;
        QAbstractItemModelTester tester(&table,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        table.defineFields(standardLayout());
        QSignalSpy resets(&table, &QAbstractItemModel::modelReset);
        QSignalSpy inserts(&table, &QAbstractItemModel::rowsInserted);
        RecordBatch batch;
        const RecordConverter converter(standardLayout(), LanguageTexts(), polishFormats());
        for (const TestRecord& record : threeRecords()) {
            converter.append(record.view(), batch);
        }
        table.appendRows(std::move(batch));
        QCOMPARE(resets.count(), 1);
        QCOMPARE(inserts.count(), 0);
        QCOMPARE(table.rowCount(), 3);
    }

    void cellsShowTheLocaleTextForms() {
        RecordTableModel table;
        table.setDisplayFormats(polishFormats());
        QAbstractItemModelTester tester(&table,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        loadRecords(table, threeRecords(), Language::Polish, polishFormats());
        // Newest first: record 3 is row 0.
        QCOMPARE(table.data(table.index(0, 0)).toString(), QStringLiteral("3"));
        QCOMPARE(table.data(table.index(2, 1)).toString(), QStringLiteral("04.01.2024"));
        QCOMPARE(table.data(table.index(1, 1)).toString(), QStringLiteral("05.01.2024 08:30:15"));
        QCOMPARE(table.data(table.index(2, 5)).toString(), QStringLiteral("1,5"));
        QCOMPARE(table.data(table.index(1, 5)).toString(), QStringLiteral("12,25"));
        QCOMPARE(table.data(table.index(0, 5)).toString(), QStringLiteral("0,13"));
        QCOMPARE(table.data(table.index(0, 8)).toString(), QStringLiteral("kg"));
        QCOMPARE(table.data(table.index(0, 9)).toString(), QStringLiteral("Nie"));
        QCOMPARE(table.data(table.index(1, 9)).toString(), QStringLiteral("Tak"));
        QVERIFY(!table.data(table.index(5, 0)).isValid());
        QVERIFY(!table.data(QModelIndex()).isValid());
    }

    void secondBatchAppendsWithItsTexts() {
        RecordTableModel table;
        QAbstractItemModelTester tester(&table,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        loadRecords(table, threeRecords(), Language::Polish, polishFormats());
        RecordBatch more;
        TestRecord extra;
        extra.userId = "EXTRA";
        RecordConverter(standardLayout(), LanguageTexts(), polishFormats())
            .append(extra.view(), more);
        table.appendRows(std::move(more));
        QCOMPARE(table.rowCount(), 4);
        QCOMPARE(table.cellText(3, 3), QStringLiteral("EXTRA"));
        QCOMPARE(table.cellText(0, 3), QStringLiteral("piotr"));
    }

    void closedTableIgnoresRows() {
        RecordTableModel table;
        RecordBatch batch;
        RecordConverter(standardLayout(), LanguageTexts(), polishFormats())
            .append(TestRecord().view(), batch);
        table.appendRows(std::move(batch));
        QCOMPARE(table.rowCount(), 0);
    }

    void compareOrdersByTypedValue() {
        RecordTableModel table;
        loadRecords(table, threeRecords(), Language::Polish, polishFormats());
        QVERIFY(table.compare(0, 1, 0) > 0);  // record 3 after record 2
        QVERIFY(table.compare(2, 1, 1) < 0);  // 4 January before 5 January
        QVERIFY(table.compare(1, 0, 5) > 0);  // 12.25 after 0.13
        QVERIFY(table.compare(2, 0, 3) < 0);  // ANNA before piotr
        QVERIFY(table.compare(0, 1, 3) < 0);  // piotr before U01: letter case aside
        QCOMPARE(table.compare(1, 1, 3), 0);
    }

    void extraFieldIsEmpty() {
        RecordTableModel table;
        RecordLayout layout = standardLayout();
        layout.add(QStringLiteral("XYZ"), FieldType::Text);
        table.defineFields(layout);
        RecordBatch batch;
        RecordConverter(layout, LanguageTexts(), polishFormats())
            .append(TestRecord().view(), batch);
        table.appendRows(std::move(batch));
        QAbstractItemModelTester tester(&table,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(table.columnCount(), 11);
        QCOMPARE(table.cellText(0, 10), QString());
    }
};

QTEST_GUILESS_MAIN(RecordTableModelTest)
#include "tst_RecordTableModel.moc"
