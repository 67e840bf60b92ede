#include <QTest>

#include "ReadOutcome.h"

class ReadOutcomeTest : public QObject {
    Q_OBJECT

private slots:
    void completeness_data() {
        QTest::addColumn<qint64>("announced");
        QTest::addColumn<qint64>("received");
        QTest::addColumn<QStringList>("unreadable");
        QTest::addColumn<int>("end");
        QTest::addColumn<bool>("complete");
        QTest::newRow("all in") << qint64(20) << qint64(20) << QStringList() << 0 << true;
        QTest::newRow("nothing announced, nothing sent")
            << qint64(0) << qint64(0) << QStringList() << 0 << true;
        QTest::newRow("fewer") << qint64(20) << qint64(19) << QStringList() << 0 << false;
        QTest::newRow("more") << qint64(20) << qint64(21) << QStringList() << 0 << false;
        QTest::newRow("unreadable") << qint64(20) << qint64(20) << QStringList{"7"} << 0 << false;
        QTest::newRow("stopped") << qint64(20) << qint64(20) << QStringList()
                                 << int(ReadEnd::Stopped) << false;
    }

    void completeness() {
        QFETCH(qint64, announced);
        QFETCH(qint64, received);
        QFETCH(QStringList, unreadable);
        QFETCH(int, end);
        QFETCH(bool, complete);
        ReadOutcome outcome;
        outcome.announced = announced;
        outcome.received = received;
        outcome.unreadable = unreadable;
        outcome.end = ReadEnd(end);
        QCOMPARE(outcome.isComplete(), complete);
    }

    void describesInTheLanguageInForce() {
        ReadOutcome outcome;
        outcome.announced = 12000;
        outcome.received = 11999;
        for (int i = 1; i <= 22; ++i) {
            outcome.unreadable << QString::number(i);
        }
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        QCOMPARE(outcome.describe(LanguageTexts(Language::English), english, 3),
                 QStringLiteral("Records announced: 12,000, received: 11,999, unreadable: 22.\n"
                                "Records that could not be read, by number: 1, 2, 3, ….\n"
                                "Every record that could be read is in the table."));
        outcome.received = 22;
        QCOMPARE(outcome.describe(LanguageTexts(Language::Polish), english, 30).split(u'\n').size(),
                 2);  // no record kept, none said to be
    }

    void recordNumbersOfStoredLines_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("number");
        QTest::newRow("record") << QByteArray("16;2023-01-02;06:58:47;16\r\n") << "16";
        QTest::newRow("blanks") << QByteArray("  7 ;x\r\n") << "7";
        QTest::newRow("no field") << QByteArray(";x\r\n") << "?";
        QTest::newRow("runaway") << QByteArray(100, 'A') << QString(24, u'A');
    }

    void recordNumbersOfStoredLines() {
        QFETCH(QByteArray, line);
        QFETCH(QString, number);
        QCOMPARE(recordNumberOfLine(line.constData()), number);
        QCOMPARE(recordNumberOfLine(nullptr), QStringLiteral("?"));
    }
};

QTEST_GUILESS_MAIN(ReadOutcomeTest)
#include "tst_ReadOutcome.moc"
