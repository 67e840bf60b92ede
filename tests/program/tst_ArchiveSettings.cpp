#include <QSettings>
#include <QTest>

#include "ArchiveSettings.h"
#include "SettingsStore.h"
#include "TestSupport.h"

class ArchiveSettingsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { settings_.clear(); }

    void nothingStoredMeansTheSqliteFileInTheDataFolder() {
        const ArchiveConfig config = ArchiveSettings::read();
        QCOMPARE(config.backend, ArchiveBackend::SQLite);
        QVERIFY(config.settingsProblem.isEmpty());
        QCOMPARE(config.effectiveSqliteFile(), ArchiveConfig::defaultSqliteFile());
        QVERIFY(config.effectiveSqliteFile().endsWith(QStringLiteral("/archive.sqlite")));
        // Reading wrote nothing: a first start stays a first start.
        QVERIFY(!SettingsStore().exists());
    }

    void aServerRoundTrips() {
        ArchiveConfig config;
        config.backend = ArchiveBackend::PostgreSQL;
        config.host = QStringLiteral("archive.example");
        config.port = 6543;
        config.database = QStringLiteral("scales");
        config.user = QStringLiteral("site7");
        config.options = QStringLiteral("sslmode=require");
        QVERIFY(ArchiveSettings::write(config));
        const ArchiveConfig read = ArchiveSettings::read();
        QCOMPARE(read.backend, ArchiveBackend::PostgreSQL);
        QCOMPARE(read.host, config.host);
        QCOMPARE(read.port, 6543);
        QCOMPARE(read.database, config.database);
        QCOMPARE(read.user, config.user);
        QCOMPARE(read.password, QString());
        QCOMPARE(read.options, config.options);
        QVERIFY(read.settingsProblem.isEmpty());
    }

    void theConnectionAndLanguageValuesStayAsTheyWere() {
        SettingsStore store;
        QVERIFY(store.setValues({{QStringLiteral("Last Used"), QStringLiteral("Ethernet")},
                                 {QStringLiteral("Eth_ip"), QStringLiteral("10.0.0.5")},
                                 {QStringLiteral("Language"), QStringLiteral("ENG")}}));
        const QStringList before =
            QSettings(QStringLiteral("VESK"), QStringLiteral("Tarvo")).childKeys();
        ArchiveConfig config;
        config.sqliteFile = QStringLiteral("/srv/archive.sqlite");
        QVERIFY(ArchiveSettings::write(config));
        QSettings raw(QStringLiteral("VESK"), QStringLiteral("Tarvo"));
        QCOMPARE(raw.childKeys(), before);
        QCOMPARE(raw.childGroups(), QStringList{QStringLiteral("Archive")});
        QCOMPARE(store.readConnection().ethIp, QStringLiteral("10.0.0.5"));
        QCOMPARE(store.language(), QStringLiteral("ENG"));
        QCOMPARE(ArchiveSettings::read().sqliteFile, config.sqliteFile);
    }

    void unusableValuesAreNamed_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("unknown backend") << QByteArray("Backend=Oracle\n");
        QTest::newRow("port not a number")
            << QByteArray("Backend=PostgreSQL\nHost=h\nDatabase=d\nPort=x\n");
        QTest::newRow("server without a host") << QByteArray("Backend=postgresql\nDatabase=d\n");
        QTest::newRow("server without a database") << QByteArray("Backend=PostgreSQL\nHost=h\n");
    }

    void unusableValuesAreNamed() {
        QFETCH(QByteArray, stored);
        settings_.writeRaw("[Archive]\n" + stored);
        QVERIFY(!ArchiveSettings::read().settingsProblem.isEmpty());
    }

private:
    TemporarySettings settings_;
};

QTEST_GUILESS_MAIN(ArchiveSettingsTest)
#include "tst_ArchiveSettings.moc"
