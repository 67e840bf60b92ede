#include <QTest>

#include "ReadPace.h"

class ReadPaceTest : public QObject {
    Q_OBJECT

private slots:
    void texts_data() {
        QTest::addColumn<qint64>("announced");
        QTest::addColumn<QList<qint64>>("updates");  // pairs: received, time in ms
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing announced") << qint64(0) << QList<qint64>{0, 0} << QString();
        QTest::newRow("no record yet")
            << qint64(100000) << QList<qint64>{0, 500} << QStringLiteral("0 / 100,000");
        QTest::newRow("one record gives no rate")
            << qint64(100000) << QList<qint64>{1, 500} << QStringLiteral("1 / 100,000");
        // 100 records a second from the first one on; the dialogue before
        // it does not count.
        QTest::newRow("minutes, rounded up")
            << qint64(100000) << QList<qint64>{0, 0, 1, 9000, 12345, 132440}
            << QStringLiteral("12,345 / 100,000 · 15 min");
        QTest::newRow("seconds") << qint64(1000) << QList<qint64>{1, 0, 951, 9500}
                                 << QStringLiteral("951 / 1,000 · 1 s");
        QTest::newRow("all in") << qint64(1000) << QList<qint64>{1, 0, 1000, 9990}
                                << QStringLiteral("1,000 / 1,000 · 0 s");
        QTest::newRow("more than announced")
            << qint64(10) << QList<qint64>{1, 0, 12, 1100} << QStringLiteral("12 / 10 · 0 s");
    }

    void texts() {
        QFETCH(qint64, announced);
        QFETCH(QList<qint64>, updates);
        QFETCH(QString, text);
        ReadPace pace;
        pace.start();
        for (int i = 0; i + 1 < updates.size(); i += 2) {
            pace.update(updates[i], updates[i + 1]);
        }
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        QCOMPARE(pace.text(announced, english, LanguageTexts(Language::English)), text);
    }

    void thousandsFollowTheLocale() {
        ReadPace pace;
        pace.start();
        pace.update(1, 0);
        pace.update(12345, 123440);
        QLocale polish(QLocale::Polish, QLocale::Poland);
        // The window's formats leave thousands separators out of the grid;
        // the counts for people keep them.
        polish.setNumberOptions(QLocale::OmitGroupSeparator);
        const QString separator = QLocale(QLocale::Polish).groupSeparator();
        QCOMPARE(pace.text(100000, polish, LanguageTexts()),
                 QStringLiteral("12") + separator + QStringLiteral("345 / 100") + separator +
                     QStringLiteral("000 · 15 min"));
    }
};

QTEST_GUILESS_MAIN(ReadPaceTest)
#include "tst_ReadPace.moc"
