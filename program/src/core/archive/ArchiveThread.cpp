#include "ArchiveThread.h"

ArchiveThread::ArchiveThread(QObject* parent) : QObject(parent), worker_(new QObject) {
    thread_.setObjectName(QStringLiteral("ArchiveThread"));
    worker_->moveToThread(&thread_);
    thread_.start();
}

ArchiveThread::~ArchiveThread() {
    // Queued after every job: the last thing the thread does.
    post([this] {
        archive_.close();
        thread_.quit();
    });
    thread_.wait();
    delete worker_;
}

void ArchiveThread::post(std::function<void()> work) {
    QMetaObject::invokeMethod(worker_, std::move(work), Qt::QueuedConnection);
}

void ArchiveThread::open(const ArchiveConfig& config, QObject* context, Done<ArchiveProblem> done) {
    run<ArchiveProblem>([config](RecordArchive& archive) { return archive.open(config); }, context,
                        std::move(done));
}

void ArchiveThread::integrityCheck(QObject* context, Done<ArchiveProblem> done) {
    run<ArchiveProblem>([](RecordArchive& archive) { return archive.integrityCheck(); }, context,
                        std::move(done));
}

void ArchiveThread::loadSnapshot(QObject* context, Done<ArchiveResult<ArchiveSnapshot>> done) {
    run<ArchiveResult<ArchiveSnapshot>>(
        [](RecordArchive& archive) { return archive.loadSnapshot(); }, context, std::move(done));
}

void ArchiveThread::write(FinishedRead read, QObject* context, Done<WriteOutcome> done,
                          ArchiveWriter::Progress progress) {
    auto shared = std::make_shared<const FinishedRead>(std::move(read));
    run<WriteOutcome>([shared, progress = std::move(progress)](
                          RecordArchive& archive) { return archive.write(*shared, progress); },
                      context, std::move(done));
}

void ArchiveThread::loadRecords(qint64 memoryId, qint64 belowNumber, QObject* context,
                                Done<ArchiveResult<RecordSet>> done) {
    run<ArchiveResult<RecordSet>>(
        [memoryId, belowNumber](RecordArchive& archive) {
            return archive.loadRecords(memoryId, belowNumber);
        },
        context, std::move(done));
}

void ArchiveThread::loadMemory(qint64 memoryId, QObject* context,
                               Done<ArchiveResult<MemoryContent>> done) {
    run<ArchiveResult<MemoryContent>>(
        [memoryId](RecordArchive& archive) { return archive.loadMemory(memoryId); }, context,
        std::move(done));
}

void ArchiveThread::listScales(QObject* context,
                               Done<ArchiveResult<std::vector<ArchivedScale>>> done) {
    run<ArchiveResult<std::vector<ArchivedScale>>>(
        [](RecordArchive& archive) { return archive.listScales(); }, context, std::move(done));
}
