#include <QTest>

#include "ArchiveTestSupport.h"
#include "IncrementalRead.h"
#include "RecordArchive.h"
#include "TestSupport.h"

namespace {

const ReadIdentity kScale = testIdentity();

ScaleKey key(const ReadIdentity& identity = kScale) {
    return identity.key();
}

// A complete full read of a memory of `count` records, as the first read of
// the scale.
WriteOutcome archiveFullRead(RecordArchive& archive, qint64 count, int variant = 0,
                             const ReadIdentity& identity = kScale) {
    return archive.write(finishedRead(identity, count, scaleRecords(count, 1, variant)));
}

qint64 rowCount(ArchiveTestBackend& backend, const char* table) {
    return backend.ownValue(QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(table)))
        .toLongLong();
}

}  // namespace

class RecordArchiveTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { ArchiveTestBackend::addRows(); }

    void aFirstReadStartsAMemoryKeepingLinesAndFields() {
        ARCHIVE_BACKEND(backend);
        RecordArchive archive;
        QVERIFY_ARCHIVE_OK(archive.open(backend.freshArchive()));
        RecordSet records;
        TestRecord odd;  // masses no float text would show plainly
        odd.recordId = 31;
        odd.net = -0.0f;
        odd.gross = std::numeric_limits<float>::quiet_NaN();
        odd.tare = std::numeric_limits<float>::infinity();
        odd.userId = "\x01\x7f\xc3";
        const AlibiRecord oddRecord = odd.view();
        records.append("31;2024-01-05;12:00:01;3;\x01\x7f\xc3;P2;-0;nan;inf;kg;3;1\r\n",
                       &oddRecord);
        records.append(scaleRecords(30, 1));

        const WriteOutcome outcome = archive.write(finishedRead(kScale, 31, records));
        QVERIFY_ARCHIVE_OK(outcome.problem);
        QVERIFY(outcome.newMemory);
        QCOMPARE(outcome.added, qint64(31));
        QCOMPARE(outcome.alreadyHeld, qint64(0));
        QCOMPARE(outcome.setAside, qint64(0));

        const ArchiveResult<MemoryContent> content = archive.loadMemory(outcome.memoryId);
        QVERIFY_ARCHIVE_OK(content.problem);
        QCOMPARE(compareRecordSets(content.value.records, records), QString());
        QCOMPARE(content.value.identity.type, kScale.type);
        QCOMPARE(content.value.identity.serialNumber, kScale.serialNumber);
        QCOMPARE(content.value.identity.productionDate, kScale.productionDate);
        QCOMPARE(content.value.identity.columnLine, kScale.columnLine);
        QCOMPARE(rowCount(backend, "alibi_read"), qint64(1));
        QCOMPARE(backend.ownValue(QStringLiteral("SELECT connection FROM alibi_read")).toString(),
                 QStringLiteral("COM /dev/ttyUSB0 9600 8 N"));
        QVERIFY_ARCHIVE_OK(archive.integrityCheck());
    }

    void aRecordReadTwiceIsStoredOnce() {
        ARCHIVE_BACKEND(backend);
        RecordArchive archive;
        QVERIFY_ARCHIVE_OK(archive.open(backend.freshArchive()));
        const WriteOutcome first = archiveFullRead(archive, 40);
        QVERIFY_ARCHIVE_OK(first.problem);
        const WriteOutcome second = archive.write(
            finishedRead(kScale, 40, scaleRecords(40, 1), planRead(nullptr, 40, ReadMode::Full)));
        QVERIFY_ARCHIVE_OK(second.problem);
        QCOMPARE(second.memoryId, first.memoryId);
        QVERIFY(!second.newMemory);
        QCOMPARE(second.added, qint64(0));
        QCOMPARE(second.alreadyHeld, qint64(40));
        QCOMPARE(rowCount(backend, "record"), qint64(40));
        QCOMPARE(rowCount(backend, "alibi_read"), qint64(2));
        QCOMPARE(rowCount(backend, "memory"), qint64(1));
        // The record keeps the read that first brought it.
        QCOMPARE(backend.ownValue(QStringLiteral("SELECT count(DISTINCT read_id) FROM record"))
                     .toLongLong(),
                 qint64(1));
    }

    void linesThatAreNoRecordAreKeptWithTheirRead() {
        ARCHIVE_BACKEND(backend);
        RecordArchive archive;
        QVERIFY_ARCHIVE_OK(archive.open(backend.freshArchive()));
        RecordSet records = scaleRecords(5, 3);
        records.append(scaleRecords(3, 3));     // the same line twice: one record
        records.append(scaleRecords(2, 2, 1));  // record 2 as another memory has it
        records.append(scaleRecords(2, 1));     // and as this one does
        records.append("\xfe garbage\r\n", nullptr);
        const WriteOutcome outcome = archive.write(finishedRead(kScale, 5, records));
        QVERIFY_ARCHIVE_OK(outcome.problem);
        QCOMPARE(outcome.added, qint64(5));
        QCOMPARE(outcome.setAside, qint64(2));
        QCOMPARE(rowCount(backend, "read_line"), qint64(1 + 1));
        // The first line under a number is the record; the other is kept aside.
        QCOMPARE(backend.ownValue(QStringLiteral("SELECT line FROM read_line ORDER BY position"))
                     .toByteArray(),
                 recordLine(2));
        QCOMPARE(
            backend.ownValue(QStringLiteral("SELECT line FROM read_line ORDER BY position DESC"))
                .toByteArray(),
            QByteArray("\xfe garbage\r\n"));
        QCOMPARE(backend.ownValue(QStringLiteral("SELECT line FROM record WHERE record_no = 2"))
                     .toByteArray(),
                 recordLine(2, 1));
    }

    void anIncrementalReadGivesTheGridOfAFullRead_data() {
        QTest::addColumn<qint64>("newRecords");
        QTest::newRow("nothing new") << qint64(0);
        QTest::newRow("one new") << qint64(1);
        QTest::newRow("50 new") << qint64(50);
    }

    void anIncrementalReadGivesTheGridOfAFullRead() {
        ARCHIVE_BACKEND(backend);
        QFETCH(qint64, newRecords);
        constexpr qint64 kArchived = 300;
        const qint64 count = kArchived + newRecords;
        RecordArchive archive;
        QVERIFY_ARCHIVE_OK(archive.open(backend.freshArchive()));
        const WriteOutcome first = archiveFullRead(archive, kArchived);
        QVERIFY_ARCHIVE_OK(first.problem);

        const ArchiveResult<ArchiveSnapshot> snapshot = archive.loadSnapshot();
        QVERIFY_ARCHIVE_OK(snapshot.problem);
        const ReadPlan plan = planRead(snapshot.value, key(), count, ReadMode::Automatic);
        QCOMPARE(plan.kind, ReadPlan::Kind::Incremental);
        QCOMPARE(plan.stopAfter, kArchived);
        // What the library stores when it ends the transfer after the stop record.
        const RecordSet fetched = scaleRecords(count, kArchived);
        const ReadVerdict verdict = verifyIncremental(snapshot.value, plan, count, fetched, true);
        QVERIFY2(verdict.kind == ReadVerdict::Kind::Verified, qPrintable(verdict.why));

        FinishedRead read = finishedRead(kScale, count, fetched, plan);
        read.applyVerdict(verdict);
        const WriteOutcome outcome = archive.write(read);
        QVERIFY_ARCHIVE_OK(outcome.problem);
        QCOMPARE(outcome.memoryId, first.memoryId);
        QCOMPARE(outcome.added, newRecords);
        QCOMPARE(outcome.alreadyHeld, qint64(1));

        const ArchiveResult<RecordSet> older =
            archive.loadRecords(verdict.memoryId, verdict.olderBelow);
        QVERIFY_ARCHIVE_OK(older.problem);
        RecordSet grid = fetched;
        grid.append(older.value);
        const RecordSet fullRead = scaleRecords(count, 1);
        QCOMPARE(compareRecordSets(grid, fullRead), QString());
        QCOMPARE(gridTexts(grid), gridTexts(fullRead));

        const ArchiveResult<ArchiveSnapshot> after = archive.loadSnapshot();
        QVERIFY_ARCHIVE_OK(after.problem);
        QCOMPARE(after.value.memoryFor(key())->unbrokenTop, count);
        QCOMPARE(after.value.memoryFor(key())->recordCount, count);
        QVERIFY_ARCHIVE_OK(archive.integrityCheck());
    }

    void aClearedMemoryStartsAnotherOne() {
        ARCHIVE_BACKEND(backend);
        RecordArchive archive;
        QVERIFY_ARCHIVE_OK(archive.open(backend.freshArchive()));
        const WriteOutcome first = archiveFullRead(archive, 100);
        const ArchiveResult<ArchiveSnapshot> snapshot = archive.loadSnapshot();
        const ReadPlan plan = planRead(snapshot.value, key(), 40, ReadMode::Automatic);
        QCOMPARE(plan.reason, ReadPlan::Reason::CountBelowArchive);
        // Records 1..40 again, but other weighings: they differ from the archive's.
        const WriteOutcome outcome =
            archive.write(finishedRead(kScale, 40, scaleRecords(40, 1, 1), plan));
        QVERIFY_ARCHIVE_OK(outcome.problem);
        QVERIFY(outcome.newMemory);
        QVERIFY(outcome.memoryId != first.memoryId);
        QCOMPARE(compareRecordSets(archive.loadMemory(first.memoryId).value.records,
                                   scaleRecords(100, 1)),
                 QString());
        QCOMPARE(compareRecordSets(archive.loadMemory(outcome.memoryId).value.records,
                                   scaleRecords(40, 1, 1)),
                 QString());
        // The next read continues the new memory.
        QCOMPARE(archive.loadSnapshot().value.memoryFor(key())->memoryId, outcome.memoryId);
        QVERIFY_ARCHIVE_OK(archive.integrityCheck());
    }

    void aMismatchFallsBackToAFullReadIntoANewMemory_data() {
        QTest::addColumn<int>("variant");
        QTest::addColumn<qint64>("firstFetched");
        // Another scale answering to the same type and serial number: other
        // lines under the archive's numbers.
        QTest::newRow("another scale, same serial") << 2 << qint64(320);
        // The same weighings renumbered: the first line is not the count.
        QTest::newRow("renumbered") << 0 << qint64(319);
    }

    void aMismatchFallsBackToAFullReadIntoANewMemory() {
        ARCHIVE_BACKEND(backend);
        QFETCH(int, variant);
        QFETCH(qint64, firstFetched);
        constexpr qint64 kCount = 320;
        RecordArchive archive;
        QVERIFY_ARCHIVE_OK(archive.open(backend.freshArchive()));
        const WriteOutcome first = archiveFullRead(archive, 300);
        const ArchiveSnapshot snapshot = archive.loadSnapshot().value;
        const ReadPlan plan = planRead(snapshot, key(), kCount, ReadMode::Automatic);
        QCOMPARE(plan.kind, ReadPlan::Kind::Incremental);
        const RecordSet fetched = scaleRecords(firstFetched, 300, variant);
        const ReadVerdict verdict = verifyIncremental(snapshot, plan, kCount, fetched, true);
        QCOMPARE(verdict.kind, ReadVerdict::Kind::Mismatch);

        // The incremental read's records are archived, but not with the memory
        // they did not fit; the fallback then reads all and files it there too.
        FinishedRead failed = finishedRead(kScale, kCount, fetched, plan);
        failed.applyVerdict(verdict);
        const WriteOutcome partial = archive.write(failed);
        QVERIFY_ARCHIVE_OK(partial.problem);
        QVERIFY(partial.memoryId != first.memoryId);
        const RecordSet everything = scaleRecords(firstFetched, 1, variant);
        const WriteOutcome full =
            archive.write(finishedRead(kScale, kCount, everything, fallbackPlan(verdict)));
        QVERIFY_ARCHIVE_OK(full.problem);
        QCOMPARE(full.memoryId, partial.memoryId);
        QCOMPARE(full.added, qint64(everything.size()) - qint64(fetched.size()));

        QCOMPARE(compareRecordSets(archive.loadMemory(first.memoryId).value.records,
                                   scaleRecords(300, 1)),
                 QString());
        QCOMPARE(compareRecordSets(archive.loadMemory(full.memoryId).value.records, everything),
                 QString());
        QVERIFY_ARCHIVE_OK(archive.integrityCheck());
    }

    void anotherTypeUnderTheSameSerialIsAnotherScale() {
        ARCHIVE_BACKEND(backend);
        RecordArchive archive;
        QVERIFY_ARCHIVE_OK(archive.open(backend.freshArchive()));
        archiveFullRead(archive, 50);
        const ReadIdentity other = testIdentity(QStringLiteral("PUE 7"), kScale.serialNumber);
        const ArchiveSnapshot snapshot = archive.loadSnapshot().value;
        QCOMPARE(planRead(snapshot, key(other), 50, ReadMode::Automatic).reason,
                 ReadPlan::Reason::NotArchived);
        const WriteOutcome outcome = archiveFullRead(archive, 50, 0, other);
        QVERIFY_ARCHIVE_OK(outcome.problem);
        QVERIFY(outcome.newMemory);
        QCOMPARE(rowCount(backend, "scale"), qint64(2));
    }

    void gapsLetTheReadStopOnlyBelowThem() {
        ARCHIVE_BACKEND(backend);
        RecordArchive archive;
        QVERIFY_ARCHIVE_OK(archive.open(backend.freshArchive()));
        // A scale whose transfer skipped 51..80 left the memory with a gap.
        RecordSet withGap = scaleRecords(100, 81);
        withGap.append(scaleRecords(50, 1));
        const WriteOutcome first = archive.write(finishedRead(kScale, 100, withGap));
        QVERIFY_ARCHIVE_OK(first.problem);

        const ArchiveSnapshot snapshot = archive.loadSnapshot().value;
        const MemoryState* memory = snapshot.memoryFor(key());
        QVERIFY(memory != nullptr);
        QCOMPARE(memory->unbrokenTop, qint64(50));
        QCOMPARE(memory->newestNumber, qint64(100));
        QCOMPARE(memory->upperLines.size(), size_t(21));
        const ReadPlan plan = planRead(snapshot, key(), 110, ReadMode::Automatic);
        QCOMPARE(plan.stopAfter, qint64(50));

        const RecordSet fetched = scaleRecords(110, 50);
        const ReadVerdict verdict = verifyIncremental(snapshot, plan, 110, fetched, true);
        QVERIFY2(verdict.kind == ReadVerdict::Kind::Verified, qPrintable(verdict.why));
        FinishedRead read = finishedRead(kScale, 110, fetched, plan);
        read.applyVerdict(verdict);
        const WriteOutcome outcome = archive.write(read);
        QVERIFY_ARCHIVE_OK(outcome.problem);
        QCOMPARE(outcome.memoryId, first.memoryId);
        QCOMPARE(outcome.added, qint64(40));
        QCOMPARE(outcome.alreadyHeld, qint64(21));
        QCOMPARE(archive.loadSnapshot().value.memoryFor(key())->unbrokenTop, qint64(110));
        QVERIFY_ARCHIVE_OK(archive.integrityCheck());
    }

    void aReadBrokenOffPartWayKeepsWhatItGot() {
        ARCHIVE_BACKEND(backend);
        RecordArchive archive;
        QVERIFY_ARCHIVE_OK(archive.open(backend.freshArchive()));
        const WriteOutcome first = archiveFullRead(archive, 100);

        // A full read that broke off below the archive's newest record shows
        // where it belongs and joins that memory.
        const ReadPlan full = planRead(archive.loadSnapshot().value, key(), 130, ReadMode::Full);
        const WriteOutcome overlapping =
            archive.write(finishedRead(kScale, 130, scaleRecords(130, 90), full, false));
        QVERIFY_ARCHIVE_OK(overlapping.problem);
        QCOMPARE(overlapping.memoryId, first.memoryId);
        QCOMPARE(overlapping.added, qint64(30));
        QCOMPARE(
            backend.ownValue(QStringLiteral("SELECT complete FROM alibi_read ORDER BY id DESC"))
                .toInt(),
            0);

        // One that broke off among new records alone cannot show it and is
        // kept as a memory of its own rather than mixed in.
        ArchiveSnapshot snapshot = archive.loadSnapshot().value;
        ReadPlan plan = planRead(snapshot, key(), 160, ReadMode::Automatic);
        QCOMPARE(plan.stopAfter, qint64(130));
        const RecordSet cut = scaleRecords(160, 150);
        const ReadVerdict unfinished = verifyIncremental(snapshot, plan, 160, cut, false);
        QCOMPARE(unfinished.kind, ReadVerdict::Kind::Unfinished);
        FinishedRead broken = finishedRead(kScale, 160, cut, plan);
        broken.applyVerdict(unfinished);
        const WriteOutcome apart = archive.write(broken);
        QVERIFY_ARCHIVE_OK(apart.problem);
        QVERIFY(apart.newMemory);

        // The next read still continues the memory of the last complete read.
        snapshot = archive.loadSnapshot().value;
        QCOMPARE(snapshot.memoryFor(key())->memoryId, first.memoryId);
        plan = planRead(snapshot, key(), 160, ReadMode::Automatic);
        const RecordSet fetched = scaleRecords(160, 130);
        const ReadVerdict verdict = verifyIncremental(snapshot, plan, 160, fetched, true);
        QCOMPARE(verdict.kind, ReadVerdict::Kind::Verified);
        FinishedRead read = finishedRead(kScale, 160, fetched, plan);
        read.applyVerdict(verdict);
        const WriteOutcome outcome = archive.write(read);
        QCOMPARE(outcome.memoryId, first.memoryId);
        QCOMPARE(compareRecordSets(archive.loadMemory(first.memoryId).value.records,
                                   scaleRecords(160, 1)),
                 QString());
        QVERIFY_ARCHIVE_OK(archive.integrityCheck());
    }

    void aFailedWriteLeavesNoTrace_data() {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("a statement fails half-way") << false;
        QTest::newRow("the caller cancels") << true;
    }

    void aFailedWriteLeavesNoTrace() {
        ARCHIVE_BACKEND(backend);
        QFETCH(bool, cancel);
        RecordArchive archive;
        QVERIFY_ARCHIVE_OK(archive.open(backend.freshArchive()));
        QVERIFY_ARCHIVE_OK(archiveFullRead(archive, 20).problem);
        if (!cancel) {
            QString error;
            const QStringList trigger =
                backend.isSqlite()
                    ? QStringList{QStringLiteral(
                          "CREATE TRIGGER fail_at_450 BEFORE INSERT ON record WHEN "
                          "NEW.record_no = 450 BEGIN SELECT RAISE(ABORT, 'injected'); END")}
                    : QStringList{
                          QStringLiteral("CREATE FUNCTION fail_at_450() RETURNS trigger LANGUAGE "
                                         "plpgsql AS $$ BEGIN IF NEW.record_no = 450 THEN RAISE "
                                         "EXCEPTION 'injected'; END IF; RETURN NEW; END $$"),
                          QStringLiteral("CREATE TRIGGER fail_at_450 BEFORE INSERT ON "
                                         "record FOR EACH ROW EXECUTE FUNCTION "
                                         "fail_at_450()")};
            QVERIFY2(backend.execOwn(trigger, &error), qPrintable(error));
            backend.closeOwn();
        }
        const ReadIdentity other = testIdentity(QStringLiteral("PUE 7"), 99);
        qint64 progressCalls = 0;
        const WriteOutcome outcome =
            archive.write(finishedRead(other, 900, scaleRecords(900, 1)), [&](qint64, qint64) {
                ++progressCalls;
                return !cancel;
            });
        QCOMPARE(archiveProblemName(outcome.problem.kind),
                 archiveProblemName(cancel ? ArchiveProblem::Kind::Cancelled
                                           : ArchiveProblem::Kind::Failed));
        // Records went in before it failed, inside the transaction.
        QVERIFY(progressCalls >= 1);
        QCOMPARE(rowCount(backend, "scale"), qint64(1));
        QCOMPARE(rowCount(backend, "memory"), qint64(1));
        QCOMPARE(rowCount(backend, "alibi_read"), qint64(1));
        QCOMPARE(rowCount(backend, "record"), qint64(20));
        QVERIFY_ARCHIVE_OK(archive.integrityCheck());
        // And the archive goes on working.
        QVERIFY_ARCHIVE_OK(archiveFullRead(archive, 30).problem);
    }

    void browsingListsScalesAndTheirMemories() {
        ARCHIVE_BACKEND(backend);
        RecordArchive archive;
        QVERIFY_ARCHIVE_OK(archive.open(backend.freshArchive()));
        const WriteOutcome oldMemory = archiveFullRead(archive, 60);
        const ReadIdentity other = testIdentity(QStringLiteral("PUE 7"), 12);
        const WriteOutcome otherScale = archiveFullRead(archive, 7, 0, other);
        const WriteOutcome newMemory = archive.write(finishedRead(
            kScale, 10, scaleRecords(10, 1, 1), planRead(nullptr, 10, ReadMode::Automatic)));
        QVERIFY_ARCHIVE_OK(newMemory.problem);

        const ArchiveResult<std::vector<ArchivedScale>> scales = archive.listScales();
        QVERIFY_ARCHIVE_OK(scales.problem);
        QCOMPARE(scales.value.size(), size_t(2));
        QCOMPARE(scales.value[0].type, QStringLiteral("PUE 7"));
        QCOMPARE(scales.value[0].serialNumber, 12);
        QCOMPARE(scales.value[0].memories.size(), size_t(1));
        QCOMPARE(scales.value[0].memories[0].memoryId, otherScale.memoryId);
        QCOMPARE(scales.value[1].type, kScale.type);
        QCOMPARE(scales.value[1].productionDate, kScale.productionDate);
        QCOMPARE(scales.value[1].memories.size(), size_t(2));
        QCOMPARE(scales.value[1].memories[0].memoryId, newMemory.memoryId);
        QCOMPARE(scales.value[1].memories[0].recordCount, qint64(10));
        QCOMPARE(scales.value[1].memories[1].memoryId, oldMemory.memoryId);
        QCOMPARE(scales.value[1].memories[1].newestNumber, qint64(60));
        QVERIFY(scales.value[1].memories[1].lastReadAt.isValid());

        // A memory the scale no longer holds fills the grid as its read did.
        const ArchiveResult<MemoryContent> content = archive.loadMemory(oldMemory.memoryId);
        QVERIFY_ARCHIVE_OK(content.problem);
        QCOMPARE(gridTexts(content.value.records), gridTexts(scaleRecords(60, 1)));
        QCOMPARE(archive.loadMemory(9999).problem.kind, ArchiveProblem::Kind::Failed);
    }
};

QTEST_GUILESS_MAIN(RecordArchiveTest)
#include "tst_RecordArchive.moc"
