#pragma once

#include <QObject>
#include <QPointer>
#include <QThread>
#include <functional>
#include <memory>

#include "RecordArchive.h"

// Runs the record archive on a thread of its own, so that the window never
// waits for the database: writing a read of 100,000 records or loading a
// million takes seconds.
//
// Threads: create, call and destroy an ArchiveThread on one thread (the UI
// thread). Every job runs on the archive's thread, one after another in the
// order they were queued; its `done` runs afterwards on the ArchiveThread's
// own thread (the UI thread) with the job's result, and only if `context`
// (an object of that same thread, usually the window) still exists. Values
// cross the threads by copy or move; nothing is shared.
//
// The usual sequence for the window and the read session:
//   archive.open(ArchiveSettings::read(), this, [](ArchiveProblem) {...});
//   archive.loadSnapshot(this, [](ArchiveResult<ArchiveSnapshot> s) {
//       start the read with the snapshot (an empty one when !s.ok()) });
//   ... at the end of the read:
//   archive.write(std::move(finished), this, [](WriteOutcome) {...});
//   archive.loadRecords(memoryId, olderBelow, this, [](ArchiveResult<RecordSet>) {...});
// A failed open leaves the archive closed: every later job then answers
// NotOpen at once, and reads go on without the archive.
class ArchiveThread : public QObject {
    Q_OBJECT

public:
    explicit ArchiveThread(QObject* parent = nullptr);
    // Lets the queued jobs finish, closes the archive and ends the thread.
    // With a PostgreSQL server that stopped answering this may take up to
    // the connection's time-outs (about 15 s).
    ~ArchiveThread() override;

    template <typename Result>
    using Done = std::function<void(Result)>;

    // Any work on the open archive; the typed calls below are made of it.
    template <typename Result>
    void run(std::function<Result(RecordArchive&)> job, QObject* context, Done<Result> done);

    // Opens (or reopens) the archive.
    void open(const ArchiveConfig& config, QObject* context, Done<ArchiveProblem> done);
    void integrityCheck(QObject* context, Done<ArchiveProblem> done);
    void loadSnapshot(QObject* context, Done<ArchiveResult<ArchiveSnapshot>> done);
    // `progress` runs on the archive's thread, inside the write's transaction.
    void write(FinishedRead read, QObject* context, Done<WriteOutcome> done,
               ArchiveWriter::Progress progress = {});
    void loadRecords(qint64 memoryId, qint64 belowNumber, QObject* context,
                     Done<ArchiveResult<RecordSet>> done);
    void loadMemory(qint64 memoryId, QObject* context, Done<ArchiveResult<MemoryContent>> done);
    void listScales(QObject* context, Done<ArchiveResult<std::vector<ArchivedScale>>> done);

    // The thread the jobs run on, for tests.
    QThread* jobThread() { return &thread_; }

private:
    void post(std::function<void()> work);

    QThread thread_;
    QObject* worker_;        // lives on thread_; runs the jobs
    RecordArchive archive_;  // used on thread_ only
};

template <typename Result>
void ArchiveThread::run(std::function<Result(RecordArchive&)> job, QObject* context,
                        Done<Result> done) {
    QPointer<QObject> receiver(context);
    post([this, job = std::move(job), receiver, done = std::move(done)] {
        auto result = std::make_shared<Result>(job(archive_));
        QMetaObject::invokeMethod(
            this,
            [receiver, done, result] {
                if (receiver && done) {
                    done(std::move(*result));
                }
            },
            Qt::QueuedConnection);
    });
}
