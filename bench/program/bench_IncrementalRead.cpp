// Figures for a repeat read through the record archive in the real window:
// a scale whose memory of N records (100,000 by default) the archive already
// holds has weighed K more times (50); the operator starts the program again
// and presses "Odczytaj". The line runs at the real 115200 baud 8E1 of the
// alibi transfer (scale-sim --pace), so the figure is the operator's wait
// from the button to a filled grid. A full read of the same memory at that
// speed is given by its computed line time, checked against a paced full
// read of a small memory measured in the same run.
//
//   bench-incremental-read [--records N] [--new K] [--check M]
//
// The archive is filled first by an unpaced full read of the N records
// through the window (its time is shown as well). Everything lives in a
// temporary folder: the user's settings and archive are not touched.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <cstdio>
#include <memory>

#include "ArchiveSettings.h"
#include "ArchivedReads.h"
#include "RecordArchive.h"
#include "ScaleSimProcess.h"
#include "TMainForm.h"
#include "TestSupport.h"

namespace {

void print(const char* what, double value, const char* unit) {
    std::printf("%-72s %12.1f %s\n", what, value, unit);
    std::fflush(stdout);
}

// 11 bits a byte: start, 8 data, even parity, stop.
constexpr double kBitsPerByte = 11.0;
constexpr double kBaud = 115200.0;

double lineSeconds(double bytes) {
    return bytes * kBitsPerByte / kBaud;
}

// A record costs its request "Salibinext\r\n" and its line.
double recordsLineSeconds(double recordCount, double lineBytes) {
    return lineSeconds(recordCount * 12.0 + lineBytes);
}

void drainEvents() {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    do {
        QCoreApplication::sendPostedEvents();
    } while (dispatcher->processEvents(QEventLoop::AllEvents));
    QCoreApplication::sendPostedEvents();
}

class IncrementalReadBench {
public:
    IncrementalReadBench(qint64 records, qint64 fresh, qint64 check)
        : records_(records), fresh_(fresh), check_(check) {}

    int run();

private:
    std::unique_ptr<ScaleSimProcess> scale(qint64 records, bool paced);
    std::unique_ptr<TMainForm> window(const ScaleSimProcess& sim);
    // Milliseconds from the button to the filled, painted grid; the read is
    // filed in the archive before this returns.
    double readMs(TMainForm& form, bool full = false);
    qint64 archivedLineBytes();

    qint64 records_;
    qint64 fresh_;
    qint64 check_;
    TemporarySettings settings_;
    QTemporaryDir dir_;
    ArchiveConfig config_;
};

std::unique_ptr<ScaleSimProcess> IncrementalReadBench::scale(qint64 records, bool paced) {
    std::vector<std::string> args{"--pty", "--records", std::to_string(records), "--seed", "1"};
    if (paced) {
        args.push_back("--pace");
    }
    return std::make_unique<ScaleSimProcess>(scaleSimPath().toStdString(), args);
}

std::unique_ptr<TMainForm> IncrementalReadBench::window(const ScaleSimProcess& sim) {
    presetSerialConnection(QString::fromStdString(sim.PtyPath()), QStringLiteral("9600"));
    auto form = std::make_unique<TMainForm>(QStringList{libraryDir()});
    form->setDisplayFormats(polishFormats());
    form->show();
    QTest::qWaitFor(
        [&] { return form->archivedReads().notice().kind != ArchiveNotice::Kind::Opening; }, 60000);
    return form;
}

double IncrementalReadBench::readMs(TMainForm& form, bool full) {
    child<QCheckBox>(form, "chbPelnyOdczyt")->setChecked(full);
    auto* button = child<QPushButton>(form, "btnOdczytaj");
    auto* grid = child<QTableView>(form, "DBGrid1");
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::qWaitFor([&] { return button->isEnabled(); }, 3600 * 1000);
    grid->viewport()->repaint();
    drainEvents();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    waitForArchive(form, 600 * 1000);
    return ms;
}

qint64 IncrementalReadBench::archivedLineBytes() {
    RecordArchive archive;
    if (!archive.open(config_).ok()) {
        return 0;
    }
    const auto scales = archive.listScales();
    if (!scales.ok() || scales.value.empty() || scales.value[0].memories.empty()) {
        return 0;
    }
    const auto records = archive.loadRecords(scales.value[0].memories[0].memoryId);
    qint64 bytes = 0;
    for (size_t i = 0; i < records.value.size(); ++i) {
        bytes += records.value.line(i).size();
    }
    return bytes;
}

int IncrementalReadBench::run() {
    config_.sqliteFile = dir_.filePath(QStringLiteral("archive.sqlite"));
    ArchiveSettings::write(config_);
    std::printf("Repeat read through the record archive (SQLite), real window, offscreen\n");

    // A paced full read of a small memory, measured against its line time.
    {
        auto sim = scale(check_, true);
        auto form = window(*sim);
        const double ms = readMs(*form);
        const double lineMs =
            1000.0 * recordsLineSeconds(double(check_), double(archivedLineBytes()));
        print(qPrintable(QStringLiteral("paced full read of %1 records, measured").arg(check_)), ms,
              "ms");
        print(qPrintable(QStringLiteral("paced full read of %1 records, line time").arg(check_)),
              lineMs, "ms");
    }
    settings_.clear();
    config_.sqliteFile = dir_.filePath(QStringLiteral("archive-large.sqlite"));
    ArchiveSettings::write(config_);

    // The archive learns the memory once, from an unpaced read.
    qint64 lineBytes = 0;
    {
        auto sim = scale(records_, false);
        auto form = window(*sim);
        print(qPrintable(
                  QStringLiteral("first read of %1 records, unpaced line, archived").arg(records_)),
              readMs(*form), "ms");
        lineBytes = archivedLineBytes();
    }

    // The program starts again; the scale holds K more records on top.
    auto sim = scale(records_ + fresh_, true);
    auto form = window(*sim);
    const double ms = readMs(*form);
    const qint64 rows = child<QTableView>(*form, "DBGrid1")->model()->rowCount();
    const double perRecord = double(lineBytes) / double(records_);
    print(qPrintable(QStringLiteral("repeat read, %1 new on %2, 115200 8E1: button to grid")
                         .arg(fresh_)
                         .arg(records_)),
          ms, "ms");
    print("  rows in the grid", double(rows), "");
    print("  of it the line time of the records fetched",
          1000.0 * recordsLineSeconds(double(fresh_ + 1), perRecord * double(fresh_ + 1)), "ms");
    print(qPrintable(QStringLiteral("full read of the %1 records at 115200 8E1, line time")
                         .arg(records_ + fresh_)),
          recordsLineSeconds(double(records_ + fresh_), perRecord * double(records_ + fresh_)),
          "s");
    print("  bytes of a record line on average", perRecord, "bytes");
    return rows == records_ + fresh_ ? 0 : 1;
}

qint64 argument(const QStringList& arguments, const char* name, qint64 fallback) {
    const qsizetype at = arguments.indexOf(QLatin1String(name));
    if (at < 0 || at + 1 >= arguments.size()) {
        return fallback;
    }
    bool ok = false;
    const qint64 value = arguments[at + 1].toLongLong(&ok);
    return ok && value > 0 ? value : fallback;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    return IncrementalReadBench(argument(arguments, "--records", 100000),
                                argument(arguments, "--new", 50),
                                argument(arguments, "--check", 500))
        .run();
}
