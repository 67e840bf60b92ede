#include <QTest>

#include "RecordFilter.h"
#include "RecordRows.h"
#include "TestSupport.h"

class RecordFilterTest : public QObject {
    Q_OBJECT

private slots:
    void appendClause() {
        QCOMPARE(AppendClause(QString(), false, QStringLiteral("a")), QString());
        QCOMPARE(AppendClause(QString(), true, QStringLiteral("a")), QStringLiteral("a"));
        QCOMPARE(AppendClause(QStringLiteral("a"), true, QStringLiteral("b")),
                 QStringLiteral("a and b"));
        QCOMPARE(AppendClause(QStringLiteral("a"), false, QStringLiteral("b")),
                 QStringLiteral("a"));
    }

    void noControlSetGivesNoFilter() {
        const RecordFilter filter =
            buildRecordFilter(FilterInputs(), LanguageTexts(), polishFormats());
        QVERIFY(filter.expression.isEmpty());
        QVERIFY(filter.criteria.isEmpty());
        QCOMPARE(filter.invalidMassBounds, 0);
    }

    void polishExampleComesOutExactly() {
        FilterInputs inputs;
        inputs.dateFromChecked = true;
        inputs.dateFrom = QDate(2024, 1, 5);
        inputs.timeFrom = QTime(0, 0);
        inputs.dateToChecked = true;
        inputs.dateTo = QDate(2024, 1, 6);
        inputs.timeTo = QTime(0, 0);
        inputs.product = QStringLiteral("AB");
        inputs.massItem = 1;
        inputs.massFrom = QStringLiteral("2,5");
        const RecordFilter filter =
            buildRecordFilter(inputs, LanguageTexts(Language::Polish), polishFormats());
        QCOMPARE(filter.expression,
                 QStringLiteral("Data_Czas>='05.01.2024 00:00:00' and Data_Czas<='06.01.2024 "
                                "00:00:00' and ID_produktu like '%AB%' and Brutto>=2,50"));
        QCOMPARE(filter.criteria.dateTimeFrom, encodeDateTime(QDate(2024, 1, 5), QTime(0, 0)));
        QCOMPARE(filter.criteria.dateTimeTo, encodeDateTime(QDate(2024, 1, 6), QTime(0, 0)));
        QCOMPARE(filter.criteria.product, QStringLiteral("AB"));
        QCOMPARE(filter.criteria.massField, QStringLiteral("Brutto"));
        QCOMPARE(filter.criteria.massFrom, 2.5);
    }

    void eachClause_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expression");
        QTest::newRow("product") << "product"
                                 << "P0'1"
                                 << "ProductID like '%P0'1%'";
        QTest::newRow("user") << "user"
                              << "50%"
                              << "UserID like '%50%%'";
        QTest::newRow("mass from") << "massFrom"
                                   << "0"
                                   << "Net>=0.00";
        QTest::newRow("mass to") << "massTo"
                                 << "12.345"
                                 << "Net<=12.35";
        QTest::newRow("mass rounded") << "massFrom"
                                      << "1.234"
                                      << "Net>=1.23";
        QTest::newRow("id from") << "idFrom"
                                 << "5"
                                 << "RecID>=5";
        QTest::newRow("id to") << "idTo"
                               << "12"
                               << "RecID<=12";
        QTest::newRow("id from 0") << "idFrom"
                                   << "0"
                                   << "";
        QTest::newRow("id to negative") << "idTo"
                                        << "-3"
                                        << "";
        QTest::newRow("id not a number") << "idFrom"
                                         << "7a"
                                         << "";
        QTest::newRow("id beyond 32 bits") << "idFrom"
                                           << "5000000000"
                                           << "RecID>=5000000000";
    }

    void eachClause() {
        QFETCH(QString, control);
        QFETCH(QString, value);
        QFETCH(QString, expression);
        FilterInputs inputs;
        if (control == QLatin1String("product")) {
            inputs.product = value;
        } else if (control == QLatin1String("user")) {
            inputs.user = value;
        } else if (control == QLatin1String("massFrom")) {
            inputs.massFrom = value;
        } else if (control == QLatin1String("massTo")) {
            inputs.massTo = value;
        } else if (control == QLatin1String("idFrom")) {
            inputs.idFrom = value;
        } else {
            inputs.idTo = value;
        }
        const DisplayFormats english(QLocale(QLocale::English, QLocale::UnitedStates));
        const RecordFilter filter =
            buildRecordFilter(inputs, LanguageTexts(Language::English), english);
        QCOMPARE(filter.expression, expression);
        QCOMPARE(filter.invalidMassBounds, 0);
        QCOMPARE(filter.criteria.isEmpty(), expression.isEmpty());
    }

    void allClausesInTheirOrder() {
        FilterInputs inputs;
        inputs.dateFromChecked = true;
        inputs.dateFrom = QDate(2024, 1, 5);
        inputs.timeFrom = QTime(6, 30, 0);
        inputs.dateToChecked = true;
        inputs.dateTo = QDate(2024, 1, 6);
        inputs.timeTo = QTime(23, 0, 59);
        inputs.product = QStringLiteral("P");
        inputs.user = QStringLiteral("U");
        inputs.massItem = 2;
        inputs.massFrom = QStringLiteral("1");
        inputs.massTo = QStringLiteral("2");
        inputs.idFrom = QStringLiteral("3");
        inputs.idTo = QStringLiteral("4");
        const RecordFilter filter = buildRecordFilter(inputs, LanguageTexts(), polishFormats());
        QCOMPARE(filter.expression,
                 QStringLiteral("Data_Czas>='05.01.2024 06:30:00' and Data_Czas<='06.01.2024 "
                                "23:00:59' and ID_produktu like '%P%' and ID_uzytkownika like "
                                "'%U%' and Tara>=1,00 and Tara<=2,00 and RecID>=3 and RecID<=4"));
    }

    void invalidMassBounds_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<int>("invalid");
        QTest::newRow("point under a comma locale") << "1.5"
                                                    << "" << 1;
        QTest::newRow("negative") << "-1"
                                  << "" << 1;
        QTest::newRow("letters in both") << "abc"
                                         << "x" << 2;
        QTest::newRow("thousands separator") << "1 000,5"
                                             << "" << 1;
        QTest::newRow("not finite") << "inf"
                                    << "" << 1;
    }

    void invalidMassBounds() {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(int, invalid);
        FilterInputs inputs;
        inputs.massFrom = from;
        inputs.massTo = to;
        const RecordFilter filter = buildRecordFilter(inputs, LanguageTexts(), polishFormats());
        QCOMPARE(filter.invalidMassBounds, invalid);
        QVERIFY(filter.expression.isEmpty());
        QVERIFY(!filter.criteria.massFrom);
        QVERIFY(!filter.criteria.massTo);
    }

    void unknownMassItemGivesNoMassClause() {
        FilterInputs inputs;
        inputs.massItem = -1;
        inputs.massFrom = QStringLiteral("1");
        const RecordFilter filter = buildRecordFilter(inputs, LanguageTexts(), polishFormats());
        QVERIFY(filter.expression.isEmpty());
        QCOMPARE(filter.invalidMassBounds, 0);
    }
};

QTEST_GUILESS_MAIN(RecordFilterTest)
#include "tst_RecordFilter.moc"
