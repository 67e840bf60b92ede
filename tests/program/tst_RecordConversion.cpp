#include <QTest>
#include <cmath>
#include <cstring>
#include <limits>

#include "RecordConversion.h"
#include "RecordTableError.h"
#include "TestSupport.h"

namespace {

const DisplayFormats kPolishFormats(QLocale(QLocale::Polish, QLocale::Poland),
                                    QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));

double realOf(const RecordRow& row, int i) {
    double value;
    std::memcpy(&value, &row.values[i], sizeof value);
    return value;
}

RecordBatch convert(const TestRecord& record, Language language = Language::Polish,
                    const RecordLayout& layout = standardLayout()) {
    RecordBatch batch;
    RecordConverter(layout, LanguageTexts(language), kPolishFormats).append(record.view(), batch);
    return batch;
}

}  // namespace

class RecordConversionTest : public QObject {
    Q_OBJECT

private slots:
    void recordDates_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QDate>("expected");
        QTest::newRow("full") << QByteArray("2024-01-05") << QDate(2024, 1, 5);
        QTest::newRow("two-digit year") << QByteArray("24-01-05") << QDate(2024, 1, 5);
        QTest::newRow("one-digit parts") << QByteArray("5-1-2") << QDate(2005, 1, 2);
        QTest::newRow("blanks around") << QByteArray(" 2024-1-5 ") << QDate(2024, 1, 5);
        QTest::newRow("slashes") << QByteArray("2024/01/05") << QDate(1970, 1, 1);
        QTest::newRow("month 13") << QByteArray("2024-13-01") << QDate(1970, 1, 1);
        QTest::newRow("trailing text") << QByteArray("2024-01-05x") << QDate(1970, 1, 1);
        QTest::newRow("empty") << QByteArray() << QDate(1970, 1, 1);
        QTest::newRow("two parts") << QByteArray("01-05") << QDate(1970, 1, 1);
    }

    void recordDates() {
        QFETCH(QByteArray, text);
        QFETCH(QDate, expected);
        QCOMPARE(parseRecordDate(text, 2026), expected);
    }

    void convertRecordDateUsesTheShortFormat() {
        QCOMPARE(ConvertRecordDate("24-01-05", kPolishFormats), QStringLiteral("05.01.2024"));
        QCOMPARE(ConvertRecordDate("2024/01/05", kPolishFormats), QStringLiteral("01.01.1970"));
        const DisplayFormats english(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(ConvertRecordDate("2024-01-05", english), QStringLiteral("1/5/24"));
    }

    void unitNames_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("name");
        const std::pair<int, const char*> units[] = {
            {1, "ct"}, {2, "mg"},  {3, "g"},  {4, "kg"}, {5, "lb"}, {6, "oz"}, {7, "ozt"},
            {8, "gr"}, {9, "dwt"}, {14, "N"}, {0, ""},   {10, ""},  {-1, ""}};
        for (const auto& [code, name] : units) {
            QTest::newRow(qPrintable(QString::number(code))) << code << QString::fromLatin1(name);
        }
    }

    void unitNames() {
        QFETCH(int, code);
        QFETCH(QString, name);
        QCOMPARE(UnitName(code), name);
    }

    void roundsLikeTheScale_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<double>("expected");
        QTest::newRow("1.2f, 3") << double(1.2f) << 3 << 1.2;
        QTest::newRow("1.2f, 0") << double(1.2f) << 0 << 1.0;
        QTest::newRow("negative places") << double(7.6f) << -2 << 8.0;
        QTest::newRow("half up") << 2.5 << 0 << 3.0;
        QTest::newRow("half up, 2") << 0.125 << 2 << 0.13;
        QTest::newRow("negative half") << -2.5 << 0 << -3.0;
        QTest::newRow("many places") << double(0.1f) << 30000 << double(0.1f);
    }

    void roundsLikeTheScale() {
        QFETCH(double, value);
        QFETCH(int, decimals);
        QFETCH(double, expected);
        QCOMPARE(roundToDecimals(value, decimals), expected);
    }

    // The fast rounding of masses agrees with rounding through the text.
    void floatRoundingAgreesWithTextRounding() {
        quint32 state = 12345;
        auto next = [&state] {
            state = state * 1664525u + 1013904223u;
            return state;
        };
        for (int i = 0; i < 200000; ++i) {
            const int decimals = static_cast<int>(next() % 11) - 1;
            const float value =
                static_cast<float>(static_cast<qint32>(next() % 20000001) - 10000000) /
                static_cast<float>(1u << (next() % 20));
            QCOMPARE(roundFloatToDecimals(value, decimals), roundToDecimals(value, decimals));
        }
        for (float tie : {0.125f, 2.5f, -2.5f, 0.375f, 1.0e9f, 3.0e38f}) {
            for (int decimals = 0; decimals <= 9; ++decimals) {
                QCOMPARE(roundFloatToDecimals(tie, decimals), roundToDecimals(tie, decimals));
            }
        }
    }

    void convertsEveryField() {
        TestRecord record;
        record.recordId = 7;
        record.net = 1.2f;
        record.gross = 2.0f;
        record.tare = 0.8f;
        const RecordBatch batch = convert(record);
        QCOMPARE(batch.rows.size(), size_t(1));
        const RecordRow& row = batch.rows[0];
        QCOMPARE(row.nullMask, quint16(0));
        QCOMPARE(qint64(row.values[0]), qint64(7));
        QCOMPARE(decodeDate(qint64(row.values[1])), QDate(2024, 1, 5));
        QCOMPARE(decodeTime(qint64(row.values[1])), QTime(12, 0, 1));
        QCOMPARE(batch.texts.view(row.values[2]), u"3");
        QCOMPARE(batch.texts.view(row.values[3]), u"U1");
        QCOMPARE(batch.texts.view(row.values[4]), u"P2");
        QCOMPARE(realOf(row, 5), 1.2);
        QCOMPARE(realOf(row, 6), 2.0);
        QCOMPARE(realOf(row, 7), 0.8);
        QCOMPARE(batch.texts.view(row.values[8]), u"kg");
        QCOMPARE(batch.texts.view(row.values[9]), u"Tak");
    }

    void stabilityTexts() {
        TestRecord record;
        QCOMPARE(convert(record, Language::English)
                     .texts.view(convert(record, Language::English).rows[0].values[9]),
                 u"Yes");
        record.stable = false;
        const RecordBatch polish = convert(record, Language::Polish);
        QCOMPARE(polish.texts.view(polish.rows[0].values[9]), u"Nie");
        const RecordBatch english = convert(record, Language::English);
        QCOMPARE(english.texts.view(english.rows[0].values[9]), u"No");
    }

    void longTextsAreCutToSixteen() {
        TestRecord record;
        record.userId = "ABCDEFGHIJKLMNOPQRST";
        record.productId = "Żółć-ąę-1234567890";
        const RecordBatch batch = convert(record);
        QCOMPARE(batch.texts.view(batch.rows[0].values[3]), u"ABCDEFGHIJKLMNOP");
        QCOMPARE(batch.texts.view(batch.rows[0].values[4]), u"Żółć-ąę-12345678");
    }

    void bytesThatAreNotUtf8AreKept() {
        TestRecord record;
        record.userId = QByteArray("\xa3\xf3") + "dz";  // Latin-1 bytes
        const RecordBatch batch = convert(record);
        QCOMPARE(batch.texts.view(batch.rows[0].values[3]), u"£ódz");
    }

    void wholeNumbersWithoutDecimals() {
        TestRecord record;
        record.decimals = 0;
        record.net = 1.6f;
        QCOMPARE(realOf(convert(record).rows[0], 5), 2.0);
    }

    void nonFiniteMassIsEmpty() {
        TestRecord record;
        record.net = std::numeric_limits<float>::quiet_NaN();
        record.gross = std::numeric_limits<float>::infinity();
        const RowCheck check = rowOf(record);
        QVERIFY(check.row.isNull(5));
        QVERIFY(check.row.isNull(6));
        QVERIFY(!check.row.isNull(7));
    }

    void timesAreReadFlexibly_data() {
        QTest::addColumn<QByteArray>("time");
        QTest::addColumn<QTime>("expected");
        QTest::newRow("H:M:S") << QByteArray("7:05:09") << QTime(7, 5, 9);
        QTest::newRow("H:M") << QByteArray("23:59") << QTime(23, 59);
        QTest::newRow("fraction") << QByteArray("12:00:01.5") << QTime(12, 0, 1, 500);
        QTest::newRow("PM") << QByteArray("1:02:03 PM") << QTime(13, 2, 3);
        QTest::newRow("empty") << QByteArray("") << QTime(0, 0);
    }

    void timesAreReadFlexibly() {
        QFETCH(QByteArray, time);
        QFETCH(QTime, expected);
        TestRecord record;
        record.time = time;
        QCOMPARE(decodeTime(qint64(rowOf(record).row.values[1])), expected);
    }

    void unreadableTimeFails() {
        TestRecord record;
        record.time = "12-00-01";
        QVERIFY_THROWS_EXCEPTION(RecordTableError, convert(record));
        record.time = "25:00:00";
        QVERIFY_THROWS_EXCEPTION(RecordTableError, convert(record));
    }

    void fewerThanTenFieldsFails() {
        const RecordLayout layout =
            RecordLayout::fromColumnLine(QStringLiteral("REC_ID;TIME;NET\r\n"), LanguageTexts());
        QVERIFY_THROWS_EXCEPTION(RecordTableError, convert(TestRecord(), Language::Polish, layout));
    }

    // A field fed by a value of another type takes it through its text.
    void valueOfAnotherTypeGoesThroughText() {
        RecordLayout layout;
        layout.add(QStringLiteral("A"), FieldType::Text);       // record number
        layout.add(QStringLiteral("B"), FieldType::Text);       // date and time
        layout.add(QStringLiteral("C"), FieldType::Integer64);  // number text
        layout.add(QStringLiteral("D"), FieldType::Text);
        layout.add(QStringLiteral("E"), FieldType::Text);
        layout.add(QStringLiteral("F"), FieldType::Text);  // net
        layout.add(QStringLiteral("G"), FieldType::Real);
        layout.add(QStringLiteral("H"), FieldType::Real);
        layout.add(QStringLiteral("I"), FieldType::Text);
        layout.add(QStringLiteral("J"), FieldType::Text);
        TestRecord record;
        record.userId = "";
        const RecordBatch batch = convert(record, Language::Polish, layout);
        const RecordRow& row = batch.rows[0];
        QCOMPARE(batch.texts.view(row.values[0]), u"1");
        QCOMPARE(batch.texts.view(row.values[1]), u"05.01.2024  12:0");
        QCOMPARE(qint64(row.values[2]), qint64(3));
        QCOMPARE(batch.texts.view(row.values[5]), u"1,500");

        layout = RecordLayout();
        layout.add(QStringLiteral("A"), FieldType::Integer64);
        layout.add(QStringLiteral("B"), FieldType::DateTime);
        layout.add(QStringLiteral("C"), FieldType::Text);
        layout.add(QStringLiteral("D"), FieldType::Real);  // user text: not a number
        for (const char* name : {"E", "F", "G", "H", "I", "J"}) {
            layout.add(QLatin1String(name), FieldType::Text);
        }
        record.userId = "U1";
        QVERIFY_THROWS_EXCEPTION(RecordTableError, convert(record, Language::Polish, layout));
        record.userId = "";
        QVERIFY(convert(record, Language::Polish, layout).rows[0].isNull(3));
    }

    void valuesPastTheTenthAreEmpty() {
        RecordLayout layout = standardLayout();
        layout.add(QStringLiteral("XYZ"), FieldType::Text);
        const RecordBatch batch = convert(TestRecord(), Language::Polish, layout);
        QVERIFY(batch.rows[0].isNull(10));
    }

private:
    struct RowCheck {
        RecordRow row;
    };
    RowCheck rowOf(const TestRecord& record) { return {convert(record).rows[0]}; }
};

QTEST_GUILESS_MAIN(RecordConversionTest)
#include "tst_RecordConversion.moc"
