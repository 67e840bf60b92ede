// Figures for the record table: how long a fill takes from the library's
// GetAlibiRecord calls to rows in the model, how much memory a row costs, and
// how long the model takes for a filter change, a sort and an export of
// 100,000 rows. The window's figures are bench-vesktarvo-window's.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <limits>
#include <memory>

#include "AlibiReadSession.h"
#include "CsvExport.h"
#include "ProcessMemory.h"
#include "QELScale.h"
#include "RecordConversion.h"
#include "RecordFilter.h"
#include "RecordFilterProxy.h"
#include "RecordTableModel.h"
#include "ScaleLibrary.h"
#include "ScaleSimProcess.h"

namespace {

DisplayFormats polishFormats() {
    return DisplayFormats(QLocale(QLocale::Polish, QLocale::Poland), QStringLiteral("dd.MM.yyyy"),
                          QStringLiteral("HH:mm:ss"));
}

struct ReadFigures {
    double receiveSeconds = 0;
    double fillSeconds = 0;  // status 1 to rows in the model
    qint64 rows = 0;
    bool ok = false;
};

// One read of a simulated scale over a pseudo-terminal into the table.
ReadFigures readInto(CVESKScaleInterface* scale, RecordTableModel& table, qint64 records) {
    ReadFigures figures;
    ScaleSimProcess sim(std::vector<std::string>{"--pty", "--any-baud", "--records",
                                                 std::to_string(records), "--seed", "11"});
    CVESKDeviceInterface* device = scale;
    device->SetConnectionKind(qelscale::kConnectionSerial);
    device->SetParameter("COM", sim.PtyPath().c_str());
    device->SetParameter("baud", "115200");
    device->SetParameter("parity", "N");
    device->SetParameter("bits", "8");
    if (!device->Connect()) {
        return figures;
    }
    AlibiReadSession session(scale);
    session.setSilenceLimit(std::chrono::milliseconds(60000));
    QElapsedTimer clock;
    qint64 parseStartMs = 0;
    bool done = false;
    QObject::connect(&session, &AlibiReadSession::fieldsDefined, &table,
                     [&](const RecordLayout& layout) { table.defineFields(layout); });
    QObject::connect(&session, &AlibiReadSession::parsingStarted, &table,
                     [&] { parseStartMs = clock.elapsed(); });
    QObject::connect(&session, &AlibiReadSession::recordsCopied, &table,
                     [&](const std::shared_ptr<RecordBatch>& batch, const ReadOutcome& outcome) {
                         table.appendRows(std::move(*batch));
                         figures.fillSeconds = (clock.elapsed() - parseStartMs) / 1000.0;
                         figures.receiveSeconds = parseStartMs / 1000.0;
                         figures.ok = outcome.isComplete();
                         done = true;
                     });
    for (auto failure : {&AlibiReadSession::libraryFailed, &AlibiReadSession::tableFailed}) {
        QObject::connect(&session, failure, &table, [&] { done = true; });
    }
    QObject::connect(&session, &AlibiReadSession::silenceTimedOut, &table, [&] { done = true; });
    clock.start();
    session.start(ReadSetup{LanguageTexts(), polishFormats()});
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    }
    figures.rows = table.rowCount();
    return figures;
}

template <typename Work>
double bestOfMs(int runs, Work work) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        work();
        best = std::min(best, clock.nsecsElapsed() / 1e6);
    }
    return best;
}

void print(const char* what, double value, const char* unit) {
    std::printf("%-70s %10.1f %s\n", what, value, unit);
    std::fflush(stdout);
}

void measureTableOperations(RecordTableModel& table) {
    RecordFilterProxy shown(&table);
    // The pass itself, at once, whatever the table's size.
    shown.setDeferredPassRows(std::numeric_limits<int>::max());
    const DisplayFormats formats = polishFormats();
    const LanguageTexts texts;
    // The model's share of a filter change: criteria built, every row tested,
    // the shown rows counted. No view takes part: what the operator waits
    // for is measured by bench-vesktarvo-window.
    int step = 0;
    const double filterMs = bestOfMs(5, [&] {
        FilterInputs inputs;
        inputs.product = QStringLiteral("P00");
        inputs.massItem = 0;
        inputs.massFrom = QString::number(1 + (step++ % 3));
        inputs.idFrom = QStringLiteral("100");
        const RecordFilter filter = buildRecordFilter(inputs, texts, formats);
        shown.setCriteria(filter.criteria);
        volatile int passing = shown.rowCount();
        (void)passing;
    });
    print("filter in the model only (criteria, predicate, count; no view), 100k", filterMs, "ms");
    shown.setCriteria(FilterCriteria());
    shown.rowCount();

    struct SortCase {
        const char* what;
        int column;
    };
    for (const SortCase& sort :
         {SortCase{"sort in the model only by date-time, 100k rows", 1},
          SortCase{"sort in the model only by net mass, 100k rows", 5},
          SortCase{"sort in the model only by product text, 100k rows", 4}}) {
        bool descending = false;
        const double ms = bestOfMs(3, [&] {
            shown.sort(sort.column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
            descending = !descending;
        });
        print(sort.what, ms, "ms");
    }
    shown.sort(-1);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("export.csv"));
    bool exported = true;
    const double exportMs =
        bestOfMs(3, [&] { exported = ExportGridToCsv(shown, table, path).ok && exported; });
    print("CSV export from the model, 100k rows", exportMs, "ms");
    print("CSV file size", QFileInfo(path).size() / 1024.0 / 1024.0, "MiB");
    if (!exported) {
        std::printf("export FAILED\n");
    }
}

// The program's own share of a fill: records as GetAlibiRecord hands them
// over, turned into rows and loaded, without the library's parsing.
void measureConversion(qint64 count) {
    const RecordLayout layout = RecordLayout::fromColumnLine(
        QStringLiteral("REC_ID;TIME;NUM;USER_ID;PROD_ID;NET;GROSS;TARE;UNIT;STB\r\n"),
        LanguageTexts());
    const RecordConverter converter(layout, LanguageTexts(), polishFormats());
    AlibiRecord record{};
    record.date = "2024-01-05";
    record.time = "12:34:56";
    record.userId = "OPER7";
    record.productId = "FLOUR-25";
    record.unit = 4;
    record.decimals = 3;
    record.stable = true;
    QElapsedTimer clock;
    clock.start();
    RecordBatch batch;
    batch.rows.reserve(static_cast<size_t>(count));
    for (qint64 i = count; i >= 1; --i) {
        record.recordId = i;
        record.number = static_cast<int32_t>(i % 500);
        record.net = static_cast<float>(i % 5000) / 1000.0f;
        record.gross = record.net + 0.25f;
        record.tare = 0.25f;
        converter.append(record, batch);
    }
    RecordTableModel table;
    table.defineFields(layout);
    table.appendRows(std::move(batch));
    print("convert and load 100k records (program's share of a fill)", clock.elapsed(), "ms");
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const bool large = application.arguments().contains(QStringLiteral("--large"));
    CVESKScaleInterface* scale = ScaleLibrary().createScale();
    if (scale == nullptr) {
        std::printf("QELScale not found beside the benchmark\n");
        return 1;
    }
    measureConversion(100000);
    {
        RecordTableModel table;
        table.setDisplayFormats(polishFormats());
        const ReadFigures read = readInto(scale, table, 100000);
        if (!read.ok) {
            std::printf("read of 100k records FAILED\n");
            return 1;
        }
        print("receive 100k records over a pseudo-terminal", read.receiveSeconds, "s");
        print("fill 100k rows (GetAlibiRecord to rows in the model)", read.fillSeconds * 1000,
              "ms");
        print("table memory per row", double(table.memoryBytes()) / read.rows, "bytes");
        measureTableOperations(table);
    }
    if (large) {
        RecordTableModel table;
        table.setDisplayFormats(polishFormats());
        const ProcessMemory before = ProcessMemory::now();
        const ReadFigures read = readInto(scale, table, 1000000);
        const ProcessMemory after = ProcessMemory::now();
        if (!read.ok) {
            std::printf("read of 1M records FAILED\n");
            return 1;
        }
        print("receive 1M records over a pseudo-terminal", read.receiveSeconds, "s");
        print("fill 1M rows (GetAlibiRecord to rows in the model)", read.fillSeconds, "s");
        print("table memory per row", double(table.memoryBytes()) / read.rows, "bytes");
        print("process memory before the 1M read (resident)", before.residentMiB, "MiB");
        print("process memory after the 1M read (resident)", after.residentMiB, "MiB");
        print("process memory peak (VmHWM)", after.peakMiB, "MiB");
        print("process memory per row (resident growth)",
              (after.residentMiB - before.residentMiB) * 1024 * 1024 / read.rows, "bytes");
    }
    return 0;
}
