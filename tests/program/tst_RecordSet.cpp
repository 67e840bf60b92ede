#include <QTest>
#include <cmath>
#include <cstring>
#include <limits>

#include "ArchiveTestSupport.h"
#include "RecordConversion.h"
#include "RecordSet.h"
#include "RecordTableError.h"
#include "TestSupport.h"

class RecordSetTest : public QObject {
    Q_OBJECT

private slots:
    void keepsLinesAndFieldsExactly() {
        const QByteArray line = "7;2019-03-01;12:00:01;3;\xc5\x81ukasz;P\xff;-0;nan;inf;kg;3;1\r\n";
        TestRecord fields;
        fields.recordId = 7;
        fields.userId = "\xc5\x81ukasz";
        fields.productId = "P\xff";
        fields.net = -0.0f;
        fields.gross = std::numeric_limits<float>::quiet_NaN();
        fields.tare = std::numeric_limits<float>::infinity();
        const AlibiRecord parsed = fields.view();
        RecordSet records;
        records.append(line, &parsed);
        records.append("not a record\r\n", nullptr);

        QCOMPARE(records.size(), size_t(2));
        QCOMPARE(records.line(0), QByteArrayView(line));
        QCOMPARE(records.line(1), QByteArrayView("not a record\r\n"));
        QVERIFY(records.isParsed(0));
        QVERIFY(!records.isParsed(1));
        const AlibiRecord kept = records.record(0);
        QCOMPARE(kept.recordId, qint64(7));
        QCOMPARE(QByteArray(kept.userId), fields.userId);
        QCOMPARE(QByteArray(kept.productId), fields.productId);
        QCOMPARE(QByteArray(kept.date), fields.date);
        QCOMPARE(QByteArray(kept.time), fields.time);
        QVERIFY(std::signbit(kept.net) && kept.net == 0.0f);
        QVERIFY(std::isnan(kept.gross));
        QVERIFY(std::isinf(kept.tare));
        QCOMPARE(kept.decimals, fields.decimals);
        QCOMPARE(kept.stable, true);
    }

    void rowsComeLastArrivalFirstAsAReadFillsTheTable() {
        const QList<QStringList> rows = gridTexts(scaleRecords(5, 1));
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows.first().first(), QStringLiteral("1"));
        QCOMPARE(rows.last().first(), QStringLiteral("5"));
    }

    void aSetFollowedByTheOlderRecordsIsTheWholeMemory() {
        RecordSet joined = scaleRecords(9, 6);
        joined.append(scaleRecords(5, 1));
        QCOMPARE(compareRecordSets(joined, scaleRecords(9, 1)), QString());
        QCOMPARE(gridTexts(joined), gridTexts(scaleRecords(9, 1)));
    }

    void anUnreadableLineEndsTheCopyKeepingTheRowsBefore() {
        RecordSet records = scaleRecords(5, 4);
        records.append("3;broken\r\n", nullptr);
        records.append(scaleRecords(2, 1));
        const RecordLayout layout = standardLayout();
        const RecordConverter converter(layout, LanguageTexts(Language::Polish), polishFormats());
        RecordBatch batch;
        QVERIFY_THROWS_EXCEPTION(RecordTableError, records.appendRowsTo(batch, converter));
        QCOMPARE(batch.rows.size(), size_t(2));
        QCOMPARE(qint64(batch.rows[0].values[0]), qint64(1));
        QCOMPARE(qint64(batch.rows[1].values[0]), qint64(2));
    }
};

QTEST_GUILESS_MAIN(RecordSetTest)
#include "tst_RecordSet.moc"
