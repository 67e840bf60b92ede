// read: the whole alibi memory, as JSON lines or CSV.
#include <atomic>
#include <stdexcept>

#include "CallbackHub.h"
#include "CommandLine.h"
#include "Commands.h"
#include "ExitCode.h"
#include "Failure.h"
#include "LibraryText.h"
#include "ProgressMeter.h"
#include "RecordFormat.h"
#include "ScaleSession.h"

namespace {

// The library gives up on a silent scale after a few silences of 200 ms,
// sometimes without a status; a read that hears nothing for two seconds more
// than the reply timeout is over. (A record line at 1200 baud takes half a
// second.)
constexpr auto kReadIdleBase = std::chrono::seconds(2);

constexpr int32_t kHeaderReceived = 0;
constexpr int32_t kAllStored = 1;
constexpr int32_t kNoAnswer = 2;

bool finished(const CallbackHub::Snapshot& state) {
    for (int32_t status : state.statuses) {
        if (status == kAllStored || status == kNoAnswer) {
            return true;
        }
    }
    return false;
}

bool sawStatus(const CallbackHub::Snapshot& state, int32_t wanted) {
    for (int32_t status : state.statuses) {
        if (status == wanted) {
            return true;
        }
    }
    return false;
}

RecordRow copyRecord(const AlibiRecord& record) {
    RecordRow row;
    row.recordId = record.recordId;
    row.date = fromLibraryText(record.date);
    row.time = fromLibraryText(record.time);
    row.number = record.number;
    row.userId = fromLibraryText(record.userId);
    row.productId = fromLibraryText(record.productId);
    row.net = record.net;
    row.gross = record.gross;
    row.tare = record.tare;
    row.unit = record.unit;
    row.decimals = record.decimals;
    row.stable = record.stable;
    return row;
}

ReadIdentity copyIdentity(CVESKScaleInterface* scale) {
    const DeviceInfo info = scale->GetDeviceInfo();
    ReadIdentity identity;
    identity.type = fromLibraryText(info.type);
    identity.serialNumber = info.serialNumber;
    identity.productionDate = fromLibraryText(info.productionDate);
    identity.count = scale->GetAlibiRecordCount();
    return identity;
}

// Every stored line, in arrival order. A line the library cannot parse makes
// the read fail rather than go missing from the output.
bool copyRecords(CVESKScaleInterface* scale, QList<RecordRow>* rows, QString* error) {
    const int64_t lines = scale->GetAlibiLineCount();
    rows->reserve(lines);
    for (int64_t index = 1; index <= lines; ++index) {
        try {
            rows->append(copyRecord(scale->GetAlibiRecord(index)));
        } catch (const std::exception&) {
            *error = QStringLiteral("record line %1 from the scale is malformed: %2")
                         .arg(index)
                         .arg(fromLibraryText(scale->GetAlibiRecordLine(index)).trimmed());
            return false;
        }
    }
    return true;
}

QString stoppedMessage(const CallbackHub::Snapshot& state, long long total) {
    if (!sawStatus(state, kHeaderReceived)) {
        return QStringLiteral("the scale stopped answering before its record count");
    }
    return QStringLiteral("the scale stopped answering after %1 of %2 records")
        .arg(state.progressCalls)
        .arg(total);
}

}  // namespace

int runRead(const CommandContext& context) {
    CVESKScaleInterface* scale = context.session.scale();
    std::atomic<long long> total{0};
    CallbackHub& hub = CallbackHub::instance();
    hub.reset([scale, &total](int32_t status) {
        if (status == kHeaderReceived) {
            total = scale->GetAlibiRecordCount();
        }
    });
    CallbackHub::Snapshot last;
    ProgressMeter meter(QStringLiteral("records"));
    scale->StartAlibiRead(&CallbackHub::onProgress, &CallbackHub::onStatus);
    const bool ended = hub.waitUntil(
        [&last](const CallbackHub::Snapshot& state) {
            last = state;
            return finished(state);
        },
        kReadIdleBase + std::chrono::milliseconds(context.timeoutMs),
        [&meter, &total](const CallbackHub::Snapshot& state) {
            meter.setTotal(total);
            meter.show(state.progressCalls);
        });
    // The last state is drawn even after a read too quick for a tick.
    meter.setTotal(total);
    meter.show(last.progressCalls);
    meter.finish();
    context.session.device()->StopListener();
    if (!ended) {
        return fail(ExitCode::kFailed, stoppedMessage(last, total));
    }
    if (!sawStatus(last, kAllStored)) {
        return fail(ExitCode::kFailed, QStringLiteral("the scale did not answer the alibi listing"));
    }
    QList<RecordRow> rows;
    QString error;
    if (!copyRecords(scale, &rows, &error)) {
        return fail(ExitCode::kFailed, error);
    }
    const ReadIdentity identity = copyIdentity(scale);
    if (rows.size() != identity.count) {
        printFailure(QStringLiteral("warning: the scale announced %1 records and sent %2")
                         .arg(identity.count)
                         .arg(rows.size()));
    }
    const bool csv = context.invocation.value(QStringLiteral("format")) == u"csv";
    return writeResult(context.invocation, csv ? RecordFormat::csv(rows)
                                               : RecordFormat::jsonLines(identity, rows));
}
