#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include "RecordConversion.h"
#include "RecordFilterProxy.h"
#include "RecordTableModel.h"
#include "TestSupport.h"

namespace {

// Records 1..6 over two days with distinct products, users and masses.
std::vector<TestRecord> sampleRecords() {
    std::vector<TestRecord> records;
    const char* products[] = {"AB-1", "ab-2", "O'Brien", "50% off", "XAB", "P6"};
    const char* users[] = {"ANNA", "anna", "PIOTR", "U01", "U02", "ANNA"};
    const char* dates[] = {"2024-01-04", "2024-01-05", "2024-01-05",
                           "2024-01-05", "2024-01-06", "2024-01-07"};
    const char* times[] = {"23:59:59", "00:00:00", "12:00:00", "23:59:59", "00:00:00", "00:00:01"};
    for (int i = 0; i < 6; ++i) {
        TestRecord record;
        record.recordId = i + 1;
        record.productId = products[i];
        record.userId = users[i];
        record.date = dates[i];
        record.time = times[i];
        record.net = 1.0f + i;     // 1..6
        record.gross = 10.0f + i;  // 10..15
        record.tare = 0.25f * i;   // 0..1.25
        record.decimals = 2;
        records.push_back(record);
    }
    return records;
}

FilterCriteria criteriaOf(const FilterInputs& inputs) {
    return buildRecordFilter(inputs, LanguageTexts(), polishFormats()).criteria;
}

FilterCriteria productCriteria(const QString& product) {
    FilterInputs inputs;
    inputs.product = product;
    return criteriaOf(inputs);
}

QList<qint64> shownIds(const RecordFilterProxy& proxy) {
    QList<qint64> ids;
    for (int row = 0; row < proxy.rowCount(); ++row) {
        ids.append(proxy.data(proxy.index(row, 0)).toLongLong());
    }
    return ids;
}

}  // namespace

class RecordFilterProxyTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        table_ = std::make_unique<RecordTableModel>();
        table_->setDisplayFormats(polishFormats());
        loadRecords(*table_, sampleRecords(), Language::Polish, polishFormats());
        proxy_ = std::make_unique<RecordFilterProxy>(table_.get());
        tester_ = std::make_unique<QAbstractItemModelTester>(
            proxy_.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }

    void cleanup() {
        tester_.reset();
        proxy_.reset();
        table_.reset();
    }

    void noCriteriaShowsAllRowsNewestFirst() {
        QCOMPARE(shownIds(*proxy_), (QList<qint64>{6, 5, 4, 3, 2, 1}));
    }

    void clauses_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QList<qint64>>("ids");
        QTest::newRow("date from, inclusive") << "dateFrom" << QList<qint64>{6, 5, 4, 3, 2};
        QTest::newRow("date to, inclusive") << "dateTo" << QList<qint64>{5, 4, 3, 2, 1};
        QTest::newRow("product, case-sensitive") << "productAB" << QList<qint64>{5, 1};
        QTest::newRow("product with apostrophe") << "productQuote" << QList<qint64>{3};
        QTest::newRow("product with percent") << "productPercent" << QList<qint64>{4};
        QTest::newRow("user") << "userANNA" << QList<qint64>{6, 1};
        QTest::newRow("net from") << "netFrom" << QList<qint64>{6, 5, 4};
        QTest::newRow("gross to") << "grossTo" << QList<qint64>{2, 1};
        QTest::newRow("tare between") << "tareBetween" << QList<qint64>{4, 3, 2};
        QTest::newRow("id between") << "idBetween" << QList<qint64>{5, 4, 3, 2};
        QTest::newRow("combined") << "combined" << QList<qint64>{2};
    }

    void clauses() {
        QFETCH(QString, what);
        QFETCH(QList<qint64>, ids);
        FilterInputs inputs;
        if (what == QLatin1String("dateFrom") || what == QLatin1String("combined")) {
            inputs.dateFromChecked = true;
            inputs.dateFrom = QDate(2024, 1, 5);
            inputs.timeFrom = QTime(0, 0);
        }
        if (what == QLatin1String("dateTo")) {
            inputs.dateToChecked = true;
            inputs.dateTo = QDate(2024, 1, 6);
            inputs.timeTo = QTime(0, 0);
        }
        if (what == QLatin1String("productAB")) {
            inputs.product = QStringLiteral("AB");
        }
        if (what == QLatin1String("productQuote")) {
            inputs.product = QStringLiteral("O'Brien");
        }
        if (what == QLatin1String("productPercent")) {
            inputs.product = QStringLiteral("50%");
        }
        if (what == QLatin1String("userANNA")) {
            inputs.user = QStringLiteral("ANNA");
        }
        if (what == QLatin1String("netFrom")) {
            inputs.massItem = 0;
            inputs.massFrom = QStringLiteral("4");
        }
        if (what == QLatin1String("grossTo")) {
            inputs.massItem = 1;
            inputs.massTo = QStringLiteral("11");
        }
        if (what == QLatin1String("tareBetween")) {
            inputs.massItem = 2;
            inputs.massFrom = QStringLiteral("0,25");
            inputs.massTo = QStringLiteral("0,75");
        }
        if (what == QLatin1String("idBetween")) {
            inputs.idFrom = QStringLiteral("2");
            inputs.idTo = QStringLiteral("5");
        }
        if (what == QLatin1String("combined")) {
            inputs.user = QStringLiteral("anna");
            inputs.idTo = QStringLiteral("3");
        }
        proxy_->setCriteria(buildRecordFilter(inputs, LanguageTexts(), polishFormats()).criteria);
        QCOMPARE(shownIds(*proxy_), ids);
    }

    void nothingPassesGivesNoRows() {
        FilterInputs inputs;
        inputs.product = QStringLiteral("nothing like this");
        proxy_->setCriteria(buildRecordFilter(inputs, LanguageTexts(), polishFormats()).criteria);
        QCOMPARE(proxy_->rowCount(), 0);
    }

    void conditionOnAFieldTheTableLacksPassesNothing() {
        FilterInputs inputs;
        inputs.product = QStringLiteral("AB");
        // English names against a Polish table.
        proxy_->setCriteria(
            buildRecordFilter(inputs, LanguageTexts(Language::English), polishFormats()).criteria);
        QCOMPARE(proxy_->rowCount(), 0);
    }

    void filterSurvivesANewTableDefinition() {
        FilterInputs inputs;
        inputs.idFrom = QStringLiteral("5");
        proxy_->setCriteria(buildRecordFilter(inputs, LanguageTexts(), polishFormats()).criteria);
        QCOMPARE(proxy_->rowCount(), 2);
        loadRecords(*table_, sampleRecords(), Language::Polish, polishFormats());
        QCOMPARE(shownIds(*proxy_), (QList<qint64>{6, 5}));
    }

    void sortsByTypedValues() {
        proxy_->sort(5, Qt::AscendingOrder);  // net
        QCOMPARE(shownIds(*proxy_), (QList<qint64>{1, 2, 3, 4, 5, 6}));
        proxy_->sort(5, Qt::DescendingOrder);
        QCOMPARE(shownIds(*proxy_), (QList<qint64>{6, 5, 4, 3, 2, 1}));
        proxy_->sort(1, Qt::AscendingOrder);  // date-time
        QCOMPARE(shownIds(*proxy_), (QList<qint64>{1, 2, 3, 4, 5, 6}));
        proxy_->sort(4, Qt::AscendingOrder);  // product text
        QCOMPARE(shownIds(*proxy_), (QList<qint64>{4, 1, 2, 3, 6, 5}));
        proxy_->sort(-1);
        QCOMPARE(shownIds(*proxy_), (QList<qint64>{6, 5, 4, 3, 2, 1}));
    }

    void textSortFollowsNewRows() {
        proxy_->sort(3, Qt::AscendingOrder);  // user: ANNA, anna, ANNA, PIOTR, U01, U02
        QCOMPARE(shownIds(*proxy_).mid(3), (QList<qint64>{3, 4, 5}));
        std::vector<TestRecord> renamed = sampleRecords();
        renamed[0].userId = "ZZZ";
        loadRecords(*table_, renamed, Language::Polish, polishFormats());
        QCOMPARE(shownIds(*proxy_).last(), qint64(1));
        // Equal texts keep arrival order between them.
        QCOMPARE(shownIds(*proxy_).first(), qint64(6));
    }

    void sortAndFilterTogether() {
        FilterInputs inputs;
        inputs.idTo = QStringLiteral("4");
        proxy_->setCriteria(buildRecordFilter(inputs, LanguageTexts(), polishFormats()).criteria);
        proxy_->sort(0, Qt::AscendingOrder);
        QCOMPARE(shownIds(*proxy_), (QList<qint64>{1, 2, 3, 4}));
    }

    // Row by row, a header walks its sections for every removal: a grid of a
    // million rows took seconds per key.
    void filterChangeTellsTheViewOnce() {
        QSignalSpy resets(proxy_.get(), &QAbstractItemModel::modelReset);
        QSignalSpy removals(proxy_.get(), &QAbstractItemModel::rowsRemoved);
        QSignalSpy insertions(proxy_.get(), &QAbstractItemModel::rowsInserted);
        proxy_->setCriteria(productCriteria(QStringLiteral("AB")));
        proxy_->setCriteria(FilterCriteria());
        QCOMPARE(resets.count(), 2);
        QCOMPARE(removals.count(), 0);
        QCOMPARE(insertions.count(), 0);
        // Asking again for what is shown tells nothing.
        proxy_->setCriteria(FilterCriteria());
        QCOMPARE(resets.count(), 2);
    }

    void sortIsOneLayoutChangeThatFollowsTheRecords() {
        const QPersistentModelIndex record3 = proxy_->index(3, 2);  // newest first: id 3
        QCOMPARE(proxy_->index(3, 0).data().toLongLong(), qint64(3));
        QSignalSpy layouts(proxy_.get(), &QAbstractItemModel::layoutChanged);
        QSignalSpy resets(proxy_.get(), &QAbstractItemModel::modelReset);
        proxy_->sort(0, Qt::AscendingOrder);
        QCOMPARE(layouts.count(), 1);
        QCOMPARE(resets.count(), 0);
        QCOMPARE(record3.row(), 2);
        QCOMPARE(record3.column(), 2);
        QCOMPARE(proxy_->index(record3.row(), 0).data().toLongLong(), qint64(3));
    }

    void changesWithinAFrameAreOnePass() {
        proxy_->setDeferredPassRows(0);
        QSignalSpy passes(proxy_.get(), &RecordFilterProxy::passApplied);
        QSignalSpy resets(proxy_.get(), &QAbstractItemModel::modelReset);
        FilterInputs inputs;
        inputs.idTo = QStringLiteral("4");
        proxy_->setCriteria(criteriaOf(inputs));
        proxy_->sort(5, Qt::DescendingOrder);
        proxy_->sort(0, Qt::AscendingOrder);
        // Until the pass, the grid keeps what it showed.
        QVERIFY(proxy_->isPassPending());
        QCOMPARE(shownIds(*proxy_), (QList<qint64>{6, 5, 4, 3, 2, 1}));
        QVERIFY(passes.wait(2000));
        QCOMPARE(shownIds(*proxy_), (QList<qint64>{1, 2, 3, 4}));
        QCOMPARE(passes.count(), 1);
        QCOMPARE(resets.count(), 1);
        QVERIFY(!proxy_->isPassPending());
    }

    void waitingChangesApplyAtOnceWhenAsked() {
        proxy_->setDeferredPassRows(0);
        proxy_->setCriteria(productCriteria(QStringLiteral("AB")));
        proxy_->applyPendingChanges();
        QVERIFY(!proxy_->isPassPending());
        QCOMPARE(shownIds(*proxy_), (QList<qint64>{5, 1}));
    }

    void newTableTakesTheWaitingChanges() {
        proxy_->setDeferredPassRows(0);
        FilterInputs inputs;
        inputs.idFrom = QStringLiteral("5");
        proxy_->setCriteria(criteriaOf(inputs));
        proxy_->sort(0, Qt::AscendingOrder);
        loadRecords(*table_, sampleRecords(), Language::Polish, polishFormats());
        QVERIFY(!proxy_->isPassPending());
        QCOMPARE(shownIds(*proxy_), (QList<qint64>{5, 6}));
    }

    // Typing on narrows what is shown; the result must be what a fresh
    // filter of the whole table gives, sorted or not.
    void typingOnMatchesAFreshFilter_data() {
        QTest::addColumn<int>("sortColumn");
        QTest::newRow("unsorted") << -1;
        QTest::newRow("sorted by product") << 4;
    }

    void typingOnMatchesAFreshFilter() {
        QFETCH(int, sortColumn);
        proxy_->sort(sortColumn, Qt::DescendingOrder);
        for (const char* text : {"A", "AB", "AB-", "AB", "B", ""}) {
            proxy_->setCriteria(productCriteria(QLatin1String(text)));
            RecordFilterProxy fresh(table_.get());
            fresh.sort(sortColumn, Qt::DescendingOrder);
            fresh.setCriteria(productCriteria(QLatin1String(text)));
            QCOMPARE(shownIds(*proxy_), shownIds(fresh));
        }
    }

    void negativeMassesAndEmptyFieldsSort() {
        std::vector<TestRecord> records = sampleRecords();
        records[0].net = -2.5f;
        records[3].net = -0.25f;
        RecordLayout layout = standardLayout();
        layout.add(QStringLiteral("XYZ"), FieldType::Text);  // never filled: null
        table_->defineFields(layout);
        RecordBatch batch;
        const RecordConverter converter(layout, LanguageTexts(), polishFormats());
        for (auto record = records.rbegin(); record != records.rend(); ++record) {
            converter.append(record->view(), batch);
        }
        table_->appendRows(std::move(batch));
        proxy_->sort(5, Qt::AscendingOrder);
        QCOMPARE(shownIds(*proxy_), (QList<qint64>{1, 4, 2, 3, 5, 6}));
        proxy_->sort(5, Qt::DescendingOrder);
        QCOMPARE(shownIds(*proxy_), (QList<qint64>{6, 5, 3, 2, 4, 1}));
        // Equal (empty) values keep arrival order either way.
        proxy_->sort(10, Qt::AscendingOrder);
        QCOMPARE(shownIds(*proxy_), (QList<qint64>{6, 5, 4, 3, 2, 1}));
        proxy_->sort(10, Qt::DescendingOrder);
        QCOMPARE(shownIds(*proxy_), (QList<qint64>{6, 5, 4, 3, 2, 1}));
    }

private:
    std::unique_ptr<RecordTableModel> table_;
    std::unique_ptr<RecordFilterProxy> proxy_;
    std::unique_ptr<QAbstractItemModelTester> tester_;
};

QTEST_GUILESS_MAIN(RecordFilterProxyTest)
#include "tst_RecordFilterProxy.moc"
