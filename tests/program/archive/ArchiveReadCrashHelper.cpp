// Not a test: the real window's read flow in a process of its own, for the
// crash test to kill. It reads the scale of the stored settings (the
// XDG_CONFIG_HOME that the test gives it) into the stored archive, prints
// "writing" once the archive's write of the read has begun and "archived N"
// when it is filed (N records new), then ends. With "hold" it stops inside
// the write's transaction, half-way through, and waits to be killed.
#include <QApplication>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "ArchivedReads.h"
#include "TMainForm.h"
#include "TestSupport.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const bool hold = argc > 1 && QByteArray(argv[1]) == "hold";
    TMainForm form(QStringList{libraryDir()});
    ArchivedReads& reads = form.archivedReads();
    std::atomic<bool> told{false};
    reads.setWriteObserver([hold, &told](qint64 written, qint64 total) {
        if (!told.exchange(true)) {
            std::printf("writing %lld\n", static_cast<long long>(total));
            std::fflush(stdout);
        }
        if (hold && written * 2 >= total) {
            std::printf("inside\n");
            std::fflush(stdout);
            for (;;) {
                std::this_thread::sleep_for(std::chrono::seconds(1));
            }
        }
        return true;
    });
    QObject::connect(&reads, &ArchivedReads::readArchived, [](const WriteOutcome& outcome) {
        std::printf("archived %lld %s\n", static_cast<long long>(outcome.added),
                    qPrintable(archiveProblemName(outcome.problem.kind)));
        std::fflush(stdout);
        QApplication::exit(outcome.ok() ? 0 : 2);
    });
    // The read starts once the archive has answered its open.
    bool started = false;
    QObject::connect(&reads, &ArchivedReads::noticeChanged, &form,
                     [&started, &form](const ArchiveNotice& notice) {
                         if (!started && notice.kind != ArchiveNotice::Kind::Opening) {
                             started = true;
                             QTimer::singleShot(0, &form, &TMainForm::btnOdczytajClick);
                         }
                     });
    return QApplication::exec();
}
