// read: the whole alibi memory, as JSON lines or CSV.
#include <QDateTime>
#include <atomic>
#include <cstdio>
#include <stdexcept>

#include "ArchiveFiling.h"
#include "ArchiveRead.h"
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

using qelscale::kAlibiHeaderReceived;
using qelscale::kAlibiNoAnswer;
using qelscale::kAlibiRecordsStored;

bool finished(const CallbackHub::Snapshot& state) {
    for (int32_t status : state.statuses) {
        if (status == kAlibiRecordsStored || status == kAlibiNoAnswer) {
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

IdentityLine copyIdentity(CVESKScaleInterface* scale) {
    const DeviceInfo info = scale->GetDeviceInfo();
    IdentityLine identity;
    identity.type = fromLibraryText(info.type);
    identity.serialNumber = info.serialNumber;
    identity.productionDate = fromLibraryText(info.productionDate);
    identity.count = scale->GetAlibiRecordCount();
    return identity;
}

// What a finished read copies out of the library: the output, made record
// by record so that a big memory is held once as text and not again as rows,
// and, for the archive, every line as received.
struct CopiedRead {
    QByteArray output;
    qint64 records = 0;
    RecordSet lines;
    // The first line the library could not parse; the read then fails rather
    // than leave it out of the output silently.
    QString badLine;
};

CopiedRead copyRead(CVESKScaleInterface* scale, const IdentityLine& identity, bool csv,
                    bool keepLines) {
    CopiedRead read;
    read.output = csv ? RecordFormat::csvHeader() : RecordFormat::jsonIdentityLine(identity);
    const int64_t count = scale->GetAlibiLineCount();
    for (int64_t index = 1; index <= count; ++index) {
        const QByteArray line(scale->GetAlibiRecordLine(index));
        try {
            const AlibiRecord record = scale->GetAlibiRecord(index);
            const RecordRow row = copyRecord(record);
            csv ? RecordFormat::appendCsvLine(read.output, row)
                : RecordFormat::appendJsonLine(read.output, row);
            ++read.records;
            if (keepLines) {
                read.lines.append(line, &record);
            }
        } catch (const std::exception&) {
            if (keepLines) {
                read.lines.append(line, nullptr);
            }
            if (read.badLine.isEmpty()) {
                read.badLine = QStringLiteral("record line %1 from the scale is malformed: %2")
                                   .arg(index)
                                   .arg(fromLibraryText(line.constData()).trimmed());
            }
        }
    }
    return read;
}

// A full read, filed as the window files one.
FinishedRead finishedRead(CVESKScaleInterface* scale, const CommandContext& context,
                          const QDateTime& startedAt, CopiedRead& copied) {
    const DeviceInfo info = scale->GetDeviceInfo();
    FinishedRead read;
    read.identity.type = fromLibraryText(info.type);
    read.identity.serialNumber = info.serialNumber;
    read.identity.productionDate = fromLibraryText(info.productionDate);
    read.identity.columnLine = fromLibraryText(info.recordHeader);
    read.connection = context.session.connectionText();
    read.startedAt = startedAt;
    read.finishedAt = QDateTime::currentDateTime();
    read.announcedCount = scale->GetAlibiRecordCount();
    read.kind = ReadPlan::Kind::Full;
    read.complete = qint64(copied.lines.size()) == read.announcedCount;
    read.records = std::move(copied.lines);
    return read;
}

// With --archive the records go to the archive and standard output gets the
// summary, unless --out takes the records.
int writeOutput(const CommandContext& context, const QByteArray& records, const QString& summary) {
    const bool toArchive = context.invocation.isSet(QStringLiteral("archive"));
    if (!toArchive || context.invocation.isSet(QStringLiteral("out"))) {
        const int written = writeResult(context.invocation, records);
        if (written != ExitCode::kSuccess || !toArchive) {
            return written;
        }
    }
    std::fputs(summary.toUtf8().constData(), stdout);
    return std::fflush(stdout) == 0 ? ExitCode::kSuccess : ExitCode::kFailed;
}

QString stoppedMessage(const CallbackHub::Snapshot& state, long long total) {
    if (!sawStatus(state, kAlibiHeaderReceived)) {
        return QStringLiteral("the scale stopped answering before its record count");
    }
    return QStringLiteral("the scale stopped answering after %1 of %2 records")
        .arg(state.progressCalls)
        .arg(total);
}

// How the listing went: the last state of the callbacks, the count the
// scale announced, and whether it ended with a status.
struct Listing {
    bool ended = false;
    CallbackHub::Snapshot last;
    long long total = 0;
};

Listing awaitListing(CVESKScaleInterface* scale, int timeoutMs) {
    std::atomic<long long> total{0};
    CallbackHub& hub = CallbackHub::instance();
    hub.reset([scale, &total](int32_t status) {
        if (status == kAlibiHeaderReceived) {
            total = scale->GetAlibiRecordCount();
        }
    });
    Listing listing;
    ProgressMeter meter(QStringLiteral("records"));
    scale->StartAlibiRead(&CallbackHub::onProgress, &CallbackHub::onStatus);
    listing.ended = hub.waitUntil(
        [&listing](const CallbackHub::Snapshot& state) {
            listing.last = state;
            return finished(state);
        },
        kReadIdleBase + std::chrono::milliseconds(timeoutMs),
        [&meter, &total](const CallbackHub::Snapshot& state) {
            meter.setTotal(total);
            meter.show(state.progressCalls);
        });
    listing.total = total;
    // The last state is drawn even after a read too quick for a tick.
    meter.setTotal(listing.total);
    meter.show(listing.last.progressCalls);
    meter.finish();
    return listing;
}

}  // namespace

int runRead(const CommandContext& context) {
    CVESKScaleInterface* scale = context.session.scale();
    const QDateTime startedAt = QDateTime::currentDateTime();
    const Listing listing = awaitListing(scale, context.timeoutMs);
    context.session.device()->StopListener();
    if (!listing.ended) {
        return fail(ExitCode::kFailed, stoppedMessage(listing.last, listing.total));
    }
    if (!sawStatus(listing.last, kAlibiRecordsStored)) {
        return fail(ExitCode::kFailed,
                    QStringLiteral("the scale did not answer the alibi listing"));
    }
    const bool toArchive = context.invocation.isSet(QStringLiteral("archive"));
    const bool csv = context.invocation.value(QStringLiteral("format")) == u"csv";
    const IdentityLine identity = copyIdentity(scale);
    CopiedRead copied = copyRead(scale, identity, csv, toArchive);
    QString summary;
    if (toArchive) {
        QString error;
        if (!fileIntoArchive(finishedRead(scale, context, startedAt, copied), &summary, &error)) {
            return fail(ExitCode::kFailed, error);
        }
    }
    if (!copied.badLine.isEmpty()) {
        return fail(ExitCode::kFailed, copied.badLine);
    }
    if (copied.records != identity.count) {
        printFailure(QStringLiteral("warning: the scale announced %1 records and sent %2")
                         .arg(identity.count)
                         .arg(copied.records));
    }
    return writeOutput(context, copied.output, summary);
}
