// Figures for the real window, as the operator waits for them: VeskTarvo's
// TMainForm under the offscreen platform, filled by a real read of a
// simulated scale over a pseudo-terminal, then driven through its controls.
//
// Every figure runs from the change (a key, a click, the file dialog's
// acceptance) until the window is idle again: no filter or sort pass of the
// grid is waiting, a round of the event dispatcher finds no timer, socket or
// window-system event and no posted event is left, and the grid's viewport
// has been painted at least once since the change (forced when Qt has not
// painted it by itself).
//
//   bench-vesktarvo-window                 100,000 and 1,000,000 rows, each in a
//                                          process of its own
//   bench-vesktarvo-window --rows N        one table of N rows
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <functional>
#include <memory>

#include "ProcessMemory.h"
#include "RecordFilterProxy.h"
#include "ScaleSimProcess.h"
#include "TMainForm.h"
#include "TRadioGroup.h"
#include "TestSupport.h"

namespace {

void print(const char* what, double value, const char* unit) {
    std::printf("%-70s %10.1f %s\n", what, value, unit);
    std::fflush(stdout);
}

void note(const char* what, const QString& value) {
    std::printf("%-70s %10s\n", what, qPrintable(value));
    std::fflush(stdout);
}

// Counts the paints of one widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++count;
        }
        return false;
    }
};

class WindowBench {
public:
    explicit WindowBench(qint64 rows) : rows_(rows) {}

    int run();

private:
    bool startWindow();
    bool read(const char* what);
    void measureFilters();
    void measureSort();
    void measureExport();
    void measureLanguageSwitch();

    // Milliseconds from the change to idle.
    double toIdle(const std::function<void()>& change);
    void waitUntilIdle();
    static void drainEvents();
    void showCount(const char* what) { note(what, count()->text()); }

    QLineEdit* edit(const char* name) const { return child<QLineEdit>(*form_, name); }
    QLabel* count() const { return child<QLabel>(*form_, "lbLiczbaRekordow"); }
    QString label(const char* what) const {
        return QStringLiteral("%1, %2 rows").arg(QLatin1String(what)).arg(rows_);
    }
    void printMs(const char* what, double ms) { print(qPrintable(label(what)), ms, "ms"); }

    qint64 rows_;
    TemporarySettings settings_;
    std::unique_ptr<ScaleSimProcess> sim_;
    std::unique_ptr<TMainForm> form_;
    QTableView* grid_ = nullptr;
    RecordFilterProxy* shown_ = nullptr;
    std::unique_ptr<PaintCounter> paints_;
};

void WindowBench::drainEvents() {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    do {
        QCoreApplication::sendPostedEvents();
    } while (dispatcher->processEvents(QEventLoop::AllEvents));
    QCoreApplication::sendPostedEvents();
}

void WindowBench::waitUntilIdle() {
    for (;;) {
        drainEvents();
        if (!shown_->isPassPending()) {
            break;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (paints_->count == 0) {
        grid_->viewport()->repaint();
        drainEvents();
    }
}

double WindowBench::toIdle(const std::function<void()>& change) {
    drainEvents();
    paints_->count = 0;
    QElapsedTimer clock;
    clock.start();
    change();
    waitUntilIdle();
    return clock.nsecsElapsed() / 1e6;
}

bool WindowBench::startWindow() {
    sim_ = std::make_unique<ScaleSimProcess>(std::vector<std::string>{
        "--pty", "--any-baud", "--records", std::to_string(rows_), "--seed", "11"});
    presetSerialConnection(QString::fromStdString(sim_->PtyPath()));
    form_ = std::make_unique<TMainForm>(QStringList{libraryDir()});
    form_->setDisplayFormats(polishFormats());
    form_->readSession().setSilenceLimit(std::chrono::milliseconds(60000));
    form_->show();
    if (!QTest::qWaitForWindowExposed(form_.get())) {
        return false;
    }
    grid_ = child<QTableView>(*form_, "DBGrid1");
    shown_ = form_->findChild<RecordFilterProxy*>(QStringLiteral("DataSource1"));
    paints_ = std::make_unique<PaintCounter>(grid_->viewport());
    return grid_ != nullptr && shown_ != nullptr;
}

// The whole read through the window's button; the fill runs from the window
// taking the "parse" state (the library holds every record) until idle: the
// copy of every record with GetAlibiRecord and its conversion into a row (on
// the library's thread), the rows into the table, the filter, the column
// widths and the grid's paint.
bool WindowBench::read(const char* what) {
    auto* button = child<QPushButton>(*form_, "btnOdczytaj");
    QElapsedTimer clock;
    qint64 parseStartNs = -1;
    const QMetaObject::Connection parseStart =
        QObject::connect(&form_->readSession(), &AlibiReadSession::parsingStarted, form_.get(),
                         [&] { parseStartNs = clock.nsecsElapsed(); });
    drainEvents();
    clock.start();
    button->click();
    while (!button->isEnabled()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    paints_->count = 0;
    waitUntilIdle();
    const double totalMs = clock.nsecsElapsed() / 1e6;
    QObject::disconnect(parseStart);
    if (parseStartNs < 0 || form_->stateText() != QStringLiteral("Sukces!")) {
        std::printf("read FAILED: %s\n", qPrintable(form_->stateText()));
        return false;
    }
    const QString receive = QStringLiteral("%1: receive, button to \"parse\"").arg(what);
    print(qPrintable(label(qPrintable(receive))), parseStartNs / 1e9, "s");
    const QString fill = QStringLiteral("%1: fill, \"parse\" to idle").arg(what);
    printMs(qPrintable(fill), totalMs - parseStartNs / 1e6);
    showCount("  rows shown");
    return true;
}

void WindowBench::measureFilters() {
    QLineEdit* product = edit("leProdukt");
    printMs("filter: key 'P' typed into leProdukt, key to idle",
            toIdle([&] { QTest::keyClick(product, 'P'); }));
    showCount("  rows shown");
    printMs("filter: key '0' typed next", toIdle([&] { QTest::keyClick(product, '0'); }));
    showCount("  rows shown");
    printMs("filter: two Backspaces at once, back to no condition", toIdle([&] {
                QTest::keyClick(product, Qt::Key_Backspace);
                QTest::keyClick(product, Qt::Key_Backspace);
            }));
    showCount("  rows shown");
    printMs("filter: 'P0017' typed at once (5 keys), first key to idle",
            toIdle([&] { QTest::keyClicks(product, QStringLiteral("P0017")); }));
    showCount("  rows shown");
    toIdle([&] { product->clear(); });

    // The pickers start at today; a bound inside the memory's years keeps
    // part of it.
    auto* dateFrom = child<QCheckBox>(*form_, "chbDataOd");
    toIdle([&] { child<QDateEdit>(*form_, "dtpDataOd")->setDate(QDate(2023, 3, 1)); });
    printMs("filter: chbDataOd checked (from 01.03.2023 00:00)",
            toIdle([&] { dateFrom->click(); }));
    showCount("  rows shown");
    toIdle([&] { dateFrom->click(); });

    toIdle([&] { QTest::keyClicks(edit("leMasaOd"), QStringLiteral("10")); });
    auto* mass = child<TRadioGroup>(*form_, "rgMasa");
    auto* gross = mass->findChild<QRadioButton*>(QStringLiteral("rgMasaItem1"));
    printMs("filter: rgMasa switched to gross, leMasaOd 10", toIdle([&] { gross->click(); }));
    showCount("  rows shown");
    toIdle([&] {
        mass->findChild<QRadioButton*>(QStringLiteral("rgMasaItem0"))->click();
        edit("leMasaOd")->clear();
    });
}

void WindowBench::measureSort() {
    QHeaderView* titles = grid_->horizontalHeader();
    int net = -1;
    for (int section = 0; section < titles->count(); ++section) {
        if (shown_->headerData(section, Qt::Horizontal).toString() == QLatin1String("Netto")) {
            net = section;
        }
    }
    if (net < 0 || titles->sectionViewportPosition(net) >= titles->viewport()->width()) {
        std::printf("the \"Netto\" title is not on screen\n");
        return;
    }
    auto clickNet = [&] {
        QTest::mouseClick(titles->viewport(), Qt::LeftButton, {},
                          QPoint(titles->sectionViewportPosition(net) + 5, 5));
    };
    printMs("sort: click on the \"Netto\" title (ascending)", toIdle(clickNet));
    printMs("sort: second click on \"Netto\" (descending)", toIdle(clickNet));
    printMs("filter in the sorted grid: key 'P' into leProdukt",
            toIdle([&] { QTest::keyClick(edit("leProdukt"), 'P'); }));
    showCount("  rows shown");
}

// Timed from the file dialog's acceptance: the operator's choice of a file
// is not the program's time.
void WindowBench::measureExport() {
    QTemporaryDir folder;
    const QString name = QStringLiteral("grid.csv");
    QElapsedTimer clock;
    qint64 acceptedNs = -1;
    QTimer answer;
    answer.setInterval(1);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || acceptedNs >= 0) {
            return;
        }
        dialog->setDirectory(folder.path());
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name);
        acceptedNs = clock.nsecsElapsed();
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept, as the button
    });
    answer.start();
    drainEvents();
    paints_->count = 0;
    clock.start();
    child<QPushButton>(*form_, "btnCsvExport")->click();
    answer.stop();
    waitUntilIdle();
    const double ms = (clock.nsecsElapsed() - acceptedNs) / 1e6;
    QFile file(folder.filePath(name));
    if (acceptedNs < 0 || !file.open(QIODevice::ReadOnly)) {
        std::printf("export FAILED\n");
        return;
    }
    printMs("export of the shown rows, dialog accepted to idle", ms);
    qint64 lines = 0;
    while (!file.readLine().isEmpty()) {
        ++lines;
    }
    note("  lines written (titles and rows)", QString::number(lines));
    print("  file size", file.size() / 1024.0 / 1024.0, "MiB");
}

void WindowBench::measureLanguageSwitch() {
    auto* english = child<QToolButton>(*form_, "ENG");
    printMs("language switch to English (empties the table)", toIdle([&] { english->click(); }));
}

int WindowBench::run() {
    if (!startWindow()) {
        std::printf("the window did not start\n");
        return 1;
    }
    if (!read("first read")) {
        return 1;
    }
    const ProcessMemory filled = ProcessMemory::now();
    measureFilters();
    measureSort();
    measureExport();
    // Sorted by net, descending, and filtered on product "P": the new rows
    // keep both.
    if (!read("new read (grid sorted, filtered)")) {
        return 1;
    }
    measureLanguageSwitch();
    const ProcessMemory end = ProcessMemory::now();
    print(qPrintable(label("whole process resident after the first fill (VmRSS)")),
          filled.residentMiB, "MiB");
    print(qPrintable(label("whole process peak resident up to then (VmHWM)")), filled.peakMiB,
          "MiB");
    print(qPrintable(label("whole process resident at the end (VmRSS)")), end.residentMiB, "MiB");
    print(qPrintable(label("whole process peak resident (VmHWM)")), end.peakMiB, "MiB");
    return 0;
}

// Each size in a process of its own, so that its memory figures are its own.
int runEverySize(const QString& program) {
    int failed = 0;
    for (const char* rows : {"100000", "1000000"}) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(program, {QStringLiteral("--rows"), QLatin1String(rows)});
        if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit ||
            child.exitCode() != 0) {
            std::printf("the run with %s rows FAILED\n", rows);
            ++failed;
        }
    }
    return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const qsizetype rowsAt = arguments.indexOf(QStringLiteral("--rows"));
    if (rowsAt < 0 || rowsAt + 1 >= arguments.size()) {
        return runEverySize(application.applicationFilePath());
    }
    bool ok = false;
    const qint64 rows = arguments[rowsAt + 1].toLongLong(&ok);
    if (!ok || rows < 1) {
        std::printf("--rows wants a positive number\n");
        return 2;
    }
    return WindowBench(rows).run();
}
