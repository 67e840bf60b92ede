// The crash test's writer: files two reads in an archive, then a large third
// one, and stops for good in the middle of that write, inside its
// transaction, after most of its records went into the log. The test kills
// it there with SIGKILL.
//
//   archive-crash-writer sqlite FILE
//   archive-crash-writer postgresql HOST PORT USER DATABASE
#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <thread>

#include "ArchiveTestSupport.h"
#include "IncrementalRead.h"
#include "RecordArchive.h"

namespace {

constexpr qint64 kFirstCount = 200;
constexpr qint64 kSecondCount = 220;
constexpr qint64 kLargeCount = 50220;

bool configFrom(const QStringList& arguments, ArchiveConfig& config) {
    if (arguments.size() == 3 && arguments[1] == u"sqlite") {
        config.sqliteFile = arguments[2];
        return true;
    }
    if (arguments.size() == 6 && arguments[1] == u"postgresql") {
        config.backend = ArchiveBackend::PostgreSQL;
        config.host = arguments[2];
        config.port = arguments[3].toInt();
        config.user = arguments[4];
        config.database = arguments[5];
        return true;
    }
    return false;
}

bool report(const WriteOutcome& outcome) {
    if (!outcome.ok()) {
        std::fprintf(stderr, "write failed: %s\n", qPrintable(outcome.problem.detail));
    }
    return outcome.ok();
}

// A read of the scale continuing its memory, as the read session files it.
FinishedRead nextRead(RecordArchive& archive, qint64 count) {
    const ArchiveSnapshot snapshot = archive.loadSnapshot().value;
    const ReadPlan plan = planRead(snapshot, testIdentity().key(), count, ReadMode::Automatic);
    FinishedRead read =
        finishedRead(testIdentity(), count, scaleRecords(count, plan.stopAfter), plan);
    read.applyVerdict(verifyIncremental(snapshot, plan, count, read.records, true));
    return read;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    ArchiveConfig config;
    if (!configFrom(application.arguments(), config)) {
        std::fprintf(
            stderr,
            "usage: archive-crash-writer sqlite FILE | postgresql HOST PORT USER DATABASE\n");
        return 2;
    }
    RecordArchive archive;
    const ArchiveProblem problem = archive.open(config);
    if (!problem.ok()) {
        std::fprintf(stderr, "open failed: %s\n", qPrintable(problem.detail));
        return 1;
    }
    if (!report(archive.write(
            finishedRead(testIdentity(), kFirstCount, scaleRecords(kFirstCount, 1)))) ||
        !report(archive.write(nextRead(archive, kSecondCount)))) {
        return 1;
    }
    std::printf("written\n");
    std::fflush(stdout);
    const FinishedRead large = nextRead(archive, kLargeCount);
    archive.write(large, [](qint64 written, qint64) {
        if (written >= 40000) {
            std::printf("inside\n");
            std::fflush(stdout);
            for (;;) {
                std::this_thread::sleep_for(std::chrono::seconds(1));
            }
        }
        return true;
    });
    std::fprintf(stderr, "the write ended although it should have stopped inside\n");
    return 1;
}
