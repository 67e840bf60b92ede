#include <QTest>

#include "DisplayFormats.h"
#include "TestSupport.h"

class DisplayFormatsTest : public QObject {
    Q_OBJECT

private slots:
    void numbersInTheGeneralFormat_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("polish");
        QTest::addColumn<QString>("english");
        QTest::newRow("1.5") << 1.5 << "1,5"
                             << "1.5";
        QTest::newRow("whole") << 2.0 << "2"
                               << "2";
        QTest::newRow("zero") << 0.0 << "0"
                              << "0";
        QTest::newRow("negative") << -2.5 << "-2,5"
                                  << "-2.5";
        QTest::newRow("rounded mass") << 0.358 << "0,358"
                                      << "0.358";
        QTest::newRow("no thousands separator") << 1234567.25 << "1234567,25"
                                                << "1234567.25";
        QTest::newRow("fifteen digits at most") << 0.1 + 0.2 << "0,3"
                                                << "0.3";
        QTest::newRow("large") << 1e20 << "1E+20"
                               << "1E+20";
        QTest::newRow("small") << 0.00001 << "1E-05"
                               << "1E-05";
    }

    void numbersInTheGeneralFormat() {
        QFETCH(double, value);
        QFETCH(QString, polish);
        QFETCH(QString, english);
        QCOMPARE(DisplayFormats(QLocale(QLocale::Polish, QLocale::Poland)).number(value), polish);
        QCOMPARE(DisplayFormats(QLocale(QLocale::English, QLocale::UnitedStates)).number(value),
                 english);
    }

    void fixedPlaces() {
        const DisplayFormats polish = polishFormats();
        QCOMPARE(polish.fixed(1.2, 3), QStringLiteral("1,200"));
        QCOMPARE(polish.fixed(1.6, 0), QStringLiteral("2"));
        QCOMPARE(polish.fixed(1.6, -1), QStringLiteral("2"));
    }

    void longTimeHasNoZone() {
        const DisplayFormats polish(QLocale(QLocale::Polish, QLocale::Poland));
        QCOMPARE(polish.time(QTime(8, 5, 9)), QStringLiteral("08:05:09"));
        const DisplayFormats english(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(english.time(QTime(13, 5, 9)), QStringLiteral("1:05:09 PM"));
    }

    void dateTimeLeavesOutMidnight() {
        const DisplayFormats polish = polishFormats();
        QCOMPARE(polish.dateTime(QDate(2024, 1, 5), QTime(0, 0)), QStringLiteral("05.01.2024"));
        QCOMPARE(polish.dateTime(QDate(2024, 1, 5), QTime(0, 0, 1)),
                 QStringLiteral("05.01.2024 00:00:01"));
    }

    void parseNumbers() {
        const DisplayFormats polish = polishFormats();
        QCOMPARE(polish.parseNumber(QStringLiteral("2,5")), std::optional<double>(2.5));
        QCOMPARE(polish.parseNumber(QStringLiteral(" 0 ")), std::optional<double>(0.0));
        QVERIFY(!polish.parseNumber(QStringLiteral("2.5")));
        QVERIFY(!polish.parseNumber(QStringLiteral("1 000")));
        QVERIFY(!polish.parseNumber(QStringLiteral("nan")));
        QVERIFY(!polish.parseNumber(QString()));
    }

    void parseDateTimes() {
        const DisplayFormats polish = polishFormats();
        const auto both = polish.parseDateTime(QStringLiteral("05.01.2024  12:00:01"));
        QVERIFY(both);
        QCOMPARE(both->first, QDate(2024, 1, 5));
        QCOMPARE(both->second, QTime(12, 0, 1));
        const auto dateOnly = polish.parseDateTime(QStringLiteral("05.01.2024"));
        QVERIFY(dateOnly);
        QCOMPARE(dateOnly->second, QTime(0, 0));
        QVERIFY(!polish.parseDateTime(QStringLiteral("2024-01-05")));
        QVERIFY(!polish.parseDateTime(QStringLiteral("05.01.2024 noon")));
    }

    void timesOfDay_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QTime>("expected");
        QTest::newRow("H:M:S") << "7:05:09" << QTime(7, 5, 9);
        QTest::newRow("blanks") << "  23:59 " << QTime(23, 59);
        QTest::newRow("fraction") << "12:00:01.25" << QTime(12, 0, 1, 250);
        QTest::newRow("AM midnight") << "12:00:00 AM" << QTime(0, 0);
        QTest::newRow("locale separator") << "7.05.09" << QTime(7, 5, 9);
        QTest::newRow("hour only") << "7" << QTime();
        QTest::newRow("minute 60") << "7:60" << QTime();
        QTest::newRow("letters") << "7:0x" << QTime();
        QTest::newRow("PM 13") << "13:00 PM" << QTime();
    }

    void timesOfDay() {
        QFETCH(QString, text);
        QFETCH(QTime, expected);
        const std::optional<QTime> time = parseTimeOfDay(text, u'.');
        QCOMPARE(time.value_or(QTime()), expected);
    }
};

QTEST_GUILESS_MAIN(DisplayFormatsTest)
#include "tst_DisplayFormats.moc"
