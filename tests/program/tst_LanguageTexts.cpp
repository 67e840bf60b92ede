#include <QTest>

#include "LanguageTexts.h"

class LanguageTextsTest : public QObject {
    Q_OBJECT

private slots:
    void hasFortySevenKeysInTheirOrder() {
        const QStringList& keys = LanguageTexts::keys();
        QCOMPARE(keys.size(), 47);
        QCOMPARE(keys.first(), QStringLiteral("NoDLLExec"));
        QCOMPARE(keys[14], QStringLiteral("dateTime"));
        QCOMPARE(keys.last(), QStringLiteral("refresh"));
    }

    void everyKeyHasBothTexts() {
        for (const QString& key : LanguageTexts::keys()) {
            QVERIFY2(!LanguageTexts::text(Language::Polish, key).isEmpty(), qPrintable(key));
            QVERIFY2(!LanguageTexts::text(Language::English, key).isEmpty(), qPrintable(key));
        }
    }

    void texts_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("polish");
        QTest::addColumn<QString>("english");
        QTest::newRow("NoDLLExec") << "NoDLLExec"
                                   << "Nie znaleziono QELScale.dll. Program zostanie zakończony."
                                   << "QELScale.dll not found. Program will be terminated.";
        QTest::newRow("connErr") << "connErr"
                                 << "Nie udało się połączyć!"
                                 << "Couldn't connect!";
        QTest::newRow("forbiddenCharInfo")
            << "forbiddenCharInfo"
            << "W tym polu można wprowadzać tylko cyfry i znak dziesiętny."
            << "This field accepts only digits and decimal character";
        QTest::newRow("forbiddenChar") << "forbiddenChar"
                                       << "Nieprawidowy znak"
                                       << "Wrong character";
        QTest::newRow("Y") << "Y"
                           << "Tak"
                           << "Yes";
        QTest::newRow("N") << "N"
                           << "Nie"
                           << "No";
        QTest::newRow("stb") << "stb"
                             << "Stabilnosc"
                             << "Stability";
        QTest::newRow("nrSer (four blanks)") << "nrSer"
                                             << "Nr seryjny:"
                                             << "    Serial Nr:";
        QTest::newRow("devInfo") << "devInfo"
                                 << "Informacje o urządzeniu:"
                                 << "Device informations:";
        QTest::newRow("connKinds") << "connKinds"
                                   << "Rodzaj:"
                                   << "Kinds";
        QTest::newRow("refresh") << "refresh"
                                 << "Wykryj porty COM i USB"
                                 << "Check ports";
    }

    void texts() {
        QFETCH(QString, key);
        QFETCH(QString, polish);
        QFETCH(QString, english);
        QCOMPARE(LanguageTexts::text(Language::Polish, key), polish);
        QCOMPARE(LanguageTexts::text(Language::English, key), english);
    }

    void addedKeysHaveBothTextsAndLeaveTheFortySevenAlone() {
        const QStringList added = LanguageTexts::addedKeys();
        QVERIFY(added.contains(QStringLiteral("accDate")));
        for (const QString& key : added) {
            QCOMPARE(LanguageTexts::indexOfKey(key), -1);
            QVERIFY2(!LanguageTexts::text(Language::Polish, key).isEmpty(), qPrintable(key));
            QVERIFY2(!LanguageTexts::text(Language::English, key).isEmpty(), qPrintable(key));
            QCOMPARE(added.count(key), 1);
        }
        QCOMPARE(LanguageTexts::keys().size(), 47);
        QCOMPARE(LanguageTexts::text(Language::Polish, u"ACCTIME"), QStringLiteral("Czas"));
        QCOMPARE(LanguageTexts::text(Language::English, u"accTime"), QStringLiteral("Time"));
    }

    void keysMatchRegardlessOfCase() {
        const LanguageTexts english(Language::English);
        QCOMPARE(english.text(u"DATETIME"), QStringLiteral("Date_Time"));
        QCOMPARE(english.text(u"connerr"), QStringLiteral("Couldn't connect!"));
        QCOMPARE(LanguageTexts::indexOfKey(u"REFRESH"), 46);
    }

    void unknownKeyGivesEmptyText() {
        QVERIFY(LanguageTexts().text(u"noSuchKey").isEmpty());
        QCOMPARE(LanguageTexts::indexOfKey(u"noSuchKey"), -1);
    }

    void onlyExactEngSelectsEnglish() {
        QCOMPARE(LanguageTexts::fromStoredName(QStringLiteral("ENG")), Language::English);
        QCOMPARE(LanguageTexts::fromStoredName(QStringLiteral("eng")), Language::Polish);
        QCOMPARE(LanguageTexts::fromStoredName(QStringLiteral("PL")), Language::Polish);
        QCOMPARE(LanguageTexts::fromStoredName(QString()), Language::Polish);
        QCOMPARE(LanguageTexts::storedName(Language::English), QStringLiteral("ENG"));
        QCOMPARE(LanguageTexts::storedName(Language::Polish), QStringLiteral("PL"));
    }

    // Texts added for the end of a read come in both languages, beside the
    // 47 keys, which stay as they are.
    void readEndTexts_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("polish");
        QTest::addColumn<QString>("english");
        QTest::newRow("stop") << "stop"
                              << "Przerwij"
                              << "Stop";
        QTest::newRow("stopped") << "stopped"
                                 << "Przerwano"
                                 << "Stopped";
        QTest::newRow("readIncomplete") << "readIncomplete"
                                        << "Niekompletny!"
                                        << "Incomplete!";
        QTest::newRow("chooseConnection") << "chooseConnection"
                                          << "Wybierz rodzaj połączenia: COM, USB lub Ethernet."
                                          << "Choose a connection kind: COM, USB or Ethernet.";
        for (const char* key : {"readCounts", "unreadableIds", "recordsKept", "noAnswerHint",
                                "minutesLeft", "secondsLeft"}) {
            QTest::newRow(key) << key
                               << LanguageTexts::text(Language::Polish, QString::fromLatin1(key))
                               << LanguageTexts::text(Language::English, QString::fromLatin1(key));
        }
    }

    void readEndTexts() {
        QFETCH(QString, key);
        QFETCH(QString, polish);
        QFETCH(QString, english);
        QVERIFY(!polish.isEmpty());
        QVERIFY(!english.isEmpty());
        QCOMPARE(LanguageTexts::text(Language::Polish, key), polish);
        QCOMPARE(LanguageTexts::text(Language::English, key.toUpper()), english);
        QCOMPARE(LanguageTexts::indexOfKey(key), -1);
        QCOMPARE(LanguageTexts::keys().size(), 47);
    }
};

QTEST_GUILESS_MAIN(LanguageTextsTest)
#include "tst_LanguageTexts.moc"
