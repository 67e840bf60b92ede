#include <QTest>

#include "ArchiveTestSupport.h"
#include "IncrementalRead.h"
#include "RecordSet.h"

Q_DECLARE_METATYPE(ReadPlan::Kind)
Q_DECLARE_METATYPE(ReadPlan::Reason)
Q_DECLARE_METATYPE(ReadVerdict::Kind)

namespace {

constexpr qint64 kMemory = 7;

// Record numbers of the archived memory, as "1-50 81-100".
std::vector<qint64> numbers(const QString& ranges) {
    std::vector<qint64> result;
    for (const QString& range : ranges.split(u' ', Qt::SkipEmptyParts)) {
        const QStringList ends = range.split(u'-');
        const qint64 first = ends[0].toLongLong();
        const qint64 last = ends.value(1, ends[0]).toLongLong();
        for (qint64 n = first; n <= last; ++n) {
            result.push_back(n);
        }
    }
    return result;
}

// The memory as a snapshot holds it: figures, and the lines from the top up.
MemoryState memoryHolding(const QString& ranges) {
    MemoryState memory;
    memory.memoryId = kMemory;
    const std::vector<qint64> held = numbers(ranges);
    memory.recordCount = static_cast<qint64>(held.size());
    for (qint64 n : held) {
        memory.newestNumber = std::max(memory.newestNumber, n);
        if (n == memory.unbrokenTop + 1) {
            memory.unbrokenTop = n;
        }
    }
    for (qint64 n : held) {
        if (memory.unbrokenTop > 0 && n >= memory.unbrokenTop) {
            memory.upperLines.emplace(n, recordLine(n));
        }
    }
    return memory;
}

// The fetched lines, in arrival order: "103 102 101v1 u 100" where v1 is
// another memory's line under that number and u a line the library could
// not read.
RecordSet fetchedLines(const QString& items) {
    RecordSet records;
    QByteArray texts[4];
    for (const QString& item : items.split(u' ', Qt::SkipEmptyParts)) {
        if (item == u"u") {
            records.append("garbage\r\n", nullptr);
            continue;
        }
        const QStringList parts = item.split(u'v');
        const qint64 number = parts[0].toLongLong();
        const int variant = parts.value(1, QStringLiteral("0")).toInt();
        const AlibiRecord record = parsedRecord(number, variant, texts);
        records.append(recordLine(number, variant), &record);
    }
    return records;
}

}  // namespace

class IncrementalReadTest : public QObject {
    Q_OBJECT

private slots:
    void plans_data() {
        QTest::addColumn<QString>("held");  // empty: the archive knows no such scale
        QTest::addColumn<qint64>("count");
        QTest::addColumn<bool>("fullRequested");
        QTest::addColumn<ReadPlan::Kind>("kind");
        QTest::addColumn<ReadPlan::Reason>("reason");
        QTest::addColumn<qint64>("stopAfter");
        QTest::addColumn<qint64>("memoryId");
        QTest::addColumn<qint64>("excluded");
        using K = ReadPlan::Kind;
        using R = ReadPlan::Reason;
        QTest::newRow("first read") << QString() << qint64(10) << false << K::Full << R::NotArchived
                                    << qint64(0) << qint64(0) << qint64(0);
        QTest::newRow("operator asks for all")
            << "1-100" << qint64(150) << true << K::Full << R::FullRequested << qint64(0) << kMemory
            << qint64(0);
        QTest::newRow("k new records") << "1-100" << qint64(150) << false << K::Incremental
                                       << R::Incremental << qint64(100) << kMemory << qint64(0);
        QTest::newRow("nothing new") << "1-100" << qint64(100) << false << K::Incremental
                                     << R::Incremental << qint64(100) << kMemory << qint64(0);
        QTest::newRow("memory cleared")
            << "1-100" << qint64(40) << false << K::Full << R::CountBelowArchive << qint64(0)
            << qint64(0) << kMemory;
        QTest::newRow("empty memory announced")
            << "1-100" << qint64(0) << false << K::Full << R::NothingAnnounced << qint64(0)
            << kMemory << qint64(0);
        QTest::newRow("gap: stops below it")
            << "1-50 81-100" << qint64(120) << false << K::Incremental << R::Incremental
            << qint64(50) << kMemory << qint64(0);
        QTest::newRow("record 1 missing")
            << "60-100" << qint64(120) << false << K::Full << R::NoUnbrokenRecords << qint64(0)
            << kMemory << qint64(0);
    }

    void plans() {
        QFETCH(QString, held);
        QFETCH(qint64, count);
        QFETCH(bool, fullRequested);
        ArchiveSnapshot snapshot;
        const ScaleKey scale{QStringLiteral("WPT/4"), 41234};
        if (!held.isEmpty()) {
            snapshot.setMemory(scale, memoryHolding(held));
        }
        // Another scale's memory never counts.
        snapshot.setMemory({QStringLiteral("WPT/6"), 41234},
                           memoryHolding(QStringLiteral("1-500")));
        const ReadPlan plan =
            planRead(snapshot, scale, count, fullRequested ? ReadMode::Full : ReadMode::Automatic);
        QTEST(plan.kind, "kind");
        QTEST(plan.reason, "reason");
        QTEST(plan.stopAfter, "stopAfter");
        QTEST(plan.memoryId, "memoryId");
        QTEST(plan.excludedMemoryId, "excluded");
    }

    void verdicts_data() {
        QTest::addColumn<QString>("held");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QString>("fetched");
        QTest::addColumn<bool>("ended");
        QTest::addColumn<ReadVerdict::Kind>("kind");
        using V = ReadVerdict::Kind;
        QTest::newRow("new records then the archived one")
            << "1-100" << qint64(103) << "103 102 101 100" << true << V::Verified;
        QTest::newRow("nothing new: the check alone")
            << "1-100" << qint64(100) << "100" << true << V::Verified;
        QTest::newRow("the check line differs")
            << "1-100" << qint64(103) << "103 102 101 100v1" << true << V::Mismatch;
        QTest::newRow("renumbered: a number skipped")
            << "1-100" << qint64(103) << "103 101 100" << true << V::Mismatch;
        QTest::newRow("first line is not the count")
            << "1-100" << qint64(103) << "102 101 100" << true << V::Mismatch;
        QTest::newRow("an unreadable line")
            << "1-100" << qint64(103) << "103 u 101 100" << true << V::Mismatch;
        QTest::newRow("scale ended before the check")
            << "1-100" << qint64(103) << "103 102 101" << true << V::Mismatch;
        QTest::newRow("transfer broke off before the check")
            << "1-100" << qint64(103) << "103 102 101" << false << V::Unfinished;
        QTest::newRow("no line at all, broken off")
            << "1-100" << qint64(103) << "" << false << V::Unfinished;
        QTest::newRow("lines after the check")
            << "1-100" << qint64(102) << "102 101 100 99" << true << V::Mismatch;
        QTest::newRow("gap: held lines above the stop unchanged")
            << "1-50 53-55" << qint64(56) << "56 55 54 53 52 51 50" << true << V::Verified;
        QTest::newRow("gap: a held line above the stop changed")
            << "1-50 53-55" << qint64(56) << "56 55 54v2 53 52 51 50" << true << V::Mismatch;
    }

    void verdicts() {
        QFETCH(QString, held);
        QFETCH(qint64, count);
        QFETCH(QString, fetched);
        QFETCH(bool, ended);
        ArchiveSnapshot snapshot;
        const ScaleKey scale{QStringLiteral("WPT/4"), 41234};
        snapshot.setMemory(scale, memoryHolding(held));
        const ReadPlan plan = planRead(snapshot, scale, count, ReadMode::Automatic);
        QCOMPARE(plan.kind, ReadPlan::Kind::Incremental);
        const ReadVerdict verdict =
            verifyIncremental(snapshot, plan, count, fetchedLines(fetched), ended);
        QFETCH(ReadVerdict::Kind, kind);
        QVERIFY2(verdict.kind == kind, qPrintable(verdict.why));
        QCOMPARE(verdict.memoryId, kMemory);
        if (verdict.kind == ReadVerdict::Kind::Verified) {
            QCOMPARE(verdict.olderBelow, plan.stopAfter);
        }
    }

    void aFallbackNeverReturnsToTheMemoryThatDidNotFit() {
        ArchiveSnapshot snapshot;
        const ScaleKey scale{QStringLiteral("WPT/4"), 41234};
        snapshot.setMemory(scale, memoryHolding(QStringLiteral("1-100")));
        const ReadPlan plan = planRead(snapshot, scale, 101, ReadMode::Automatic);
        const ReadVerdict verdict =
            verifyIncremental(snapshot, plan, 101, fetchedLines(QStringLiteral("101 100v3")), true);
        QCOMPARE(verdict.kind, ReadVerdict::Kind::Mismatch);
        const ReadPlan fallback = fallbackPlan(verdict);
        QCOMPARE(fallback.kind, ReadPlan::Kind::Full);
        QCOMPARE(fallback.reason, ReadPlan::Reason::CheckFailed);
        QCOMPARE(fallback.memoryId, qint64(0));
        QCOMPARE(fallback.excludedMemoryId, kMemory);

        FinishedRead read;
        read.applyPlan(plan);
        read.applyVerdict(verdict);
        QCOMPARE(read.excludedMemoryId, kMemory);
        QCOMPARE(read.memoryId, qint64(0));
        QVERIFY(!read.complete);
    }
};

QTEST_GUILESS_MAIN(IncrementalReadTest)
#include "tst_IncrementalRead.moc"
