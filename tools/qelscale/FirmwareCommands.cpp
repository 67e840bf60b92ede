// firmware and module firmware: uploads that run on a library thread and end
// with one status.
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <stdexcept>

#include "CallbackHub.h"
#include "CommandLine.h"
#include "Commands.h"
#include "ExitCode.h"
#include "Failure.h"
#include "ProgressMeter.h"
#include "ScaleSession.h"

namespace {

// Every phase of both uploads reports a status on silence within a few
// seconds (the module's load waits 2 s after its end); this is far beyond.
constexpr auto kUploadIdle = std::chrono::seconds(20);
constexpr qint64 kModuleBlockSize = 128;

// The scale's upload sends the file's lines; an end of line at the very end
// starts no further line.
long long lineCount(const QByteArray& content) {
    if (content.isEmpty()) {
        return 0;
    }
    return content.count('\n') + (content.endsWith('\n') ? 0 : 1);
}

struct Upload {
    int32_t status = -1;
    double fraction = 0;
};

// Waits for the upload's one status, with the bar meanwhile; status -1 when
// the library went quiet without one.
Upload awaitUpload(const QString& unit, long long total) {
    ProgressMeter meter(unit);
    meter.setTotal(total);
    CallbackHub::Snapshot last;
    CallbackHub::instance().waitUntil(
        [&last](const CallbackHub::Snapshot& state) {
            last = state;
            return state.hasStatus();
        },
        kUploadIdle,
        [&meter, total](const CallbackHub::Snapshot& state) {
            meter.show(std::llround(state.fraction * double(total)));
        });
    meter.show(std::llround(last.fraction * double(total)));
    meter.finish();
    return {last.hasStatus() ? last.statuses.front() : -1, last.fraction};
}

QString scaleUploadFailure(int32_t status, long long line) {
    switch (status) {
        case qelscale::kFirmwareLineRefusedTwice:
            return QStringLiteral("the scale refused firmware line %1 twice").arg(line);
        case qelscale::kFirmwareLineUnanswered:
            return QStringLiteral("the scale did not answer firmware line %1").arg(line);
        case qelscale::kFirmwareUnexpectedReply:
            return QStringLiteral(
                "the scale gave an unexpected reply to the firmware upload, "
                "or the line could not be switched to 115200 baud");
        default:
            return QStringLiteral("the scale stopped answering during the firmware upload");
    }
}

QString moduleUploadFailure(int32_t status) {
    switch (status) {
        case qelscale::kModuleImageUnreadable:
            return QStringLiteral("the Ethernet module did not take a block of the image");
        case qelscale::kModuleNoLoadingMode:
            return QStringLiteral("the Ethernet module did not enter its loading mode");
        case qelscale::kModuleLoadRefused:
            return QStringLiteral("the Ethernet module did not accept L (log in)");
        case qelscale::kModuleEndRefused:
            return QStringLiteral("the Ethernet module did not accept the end of the load");
        case qelscale::kModuleQueryRefused:
            return QStringLiteral("the Ethernet module did not accept Q (prepare the load)");
        case qelscale::kModuleNoNormalMode:
            return QStringLiteral("the Ethernet module did not come back to its normal mode");
        case qelscale::kModuleBlockRefused:
            return QStringLiteral("the Ethernet module refused a block of the image");
        default:
            return QStringLiteral("the Ethernet module stopped answering during the load");
    }
}

bool readWhole(const QString& path, QByteArray* content, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("could not read %1: %2").arg(path, file.errorString());
        return false;
    }
    *content = file.readAll();
    return true;
}

}  // namespace

int runFirmware(const CommandContext& context) {
    const QString path = context.invocation.words.value(0);
    QByteArray content;
    QString error;
    if (!readWhole(path, &content, &error)) {
        return fail(ExitCode::kFailed, error);
    }
    const long long lines = lineCount(content);
    const bool sendStart = !context.invocation.isSet(QStringLiteral("no-start"));
    CallbackHub::instance().reset();
    bool started = false;
    try {
        started = context.session.device()->UpdateFirmware(
            QFile::encodeName(path).constData(), sendStart, false, &CallbackHub::onProgress,
            &CallbackHub::onStatus);
    } catch (const std::exception& failure) {
        return fail(
            ExitCode::kFailed,
            QStringLiteral("could not read %1: %2").arg(path, QString::fromUtf8(failure.what())));
    }
    if (!started) {
        return fail(ExitCode::kFailed, QStringLiteral("%1 holds no firmware lines").arg(path));
    }
    const Upload upload = awaitUpload(QStringLiteral("lines"), lines);
    context.session.device()->StopListener();
    if (upload.status != qelscale::kFirmwareComplete) {
        // The library reports the line it sends as a fraction of the file.
        const long long line = std::llround(upload.fraction * double(lines)) + 1;
        return fail(ExitCode::kFailed, scaleUploadFailure(upload.status, line));
    }
    return ExitCode::kSuccess;
}

int runModuleFirmware(const CommandContext& context) {
    const QString path = context.invocation.words.value(1);
    QByteArray content;
    QString error;
    if (!readWhole(path, &content, &error)) {
        return fail(ExitCode::kFailed, error);
    }
    const long long blocks = (content.size() + kModuleBlockSize - 1) / kModuleBlockSize;
    CallbackHub::instance().reset();
    if (!context.session.device()->UpdateFirmware(QFile::encodeName(path).constData(), false, true,
                                                  &CallbackHub::onProgress,
                                                  &CallbackHub::onStatus)) {
        return fail(ExitCode::kFailed,
                    QStringLiteral("the library could not start the Ethernet module's load"));
    }
    const Upload upload = awaitUpload(QStringLiteral("blocks"), blocks);
    if (upload.status != qelscale::kModuleLoadDone) {
        return fail(ExitCode::kFailed, moduleUploadFailure(upload.status));
    }
    return ExitCode::kSuccess;
}
