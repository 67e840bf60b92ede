#include "Qelscale.h"

#include <arpa/inet.h>

#include <cmath>
#include <cstdio>

#include "CommandLine.h"
#include "CommandTable.h"
#include "Commands.h"
#include "ConnectionTarget.h"
#include "ExitCode.h"
#include "Failure.h"
#include "ResultOutput.h"
#include "ScaleSession.h"

namespace {

int usage(const CommandLine& line, const QString& error) {
    printFailure(error);
    std::fputs(line.usageText().toLocal8Bit().constData(), stderr);
    return ExitCode::kUsage;
}

bool isIpv4(const QString& text) {
    in_addr address{};
    return inet_pton(AF_INET, text.toLatin1().constData(), &address) == 1;
}

// The values of the command's own words and options, checked before
// anything is opened. Empty when all is well.
QString badValue(const Invocation& invocation) {
    const QString name = invocation.command->name;
    const QStringList& words = invocation.words;
    if (name == u"read") {
        const QString format = invocation.value(QStringLiteral("format"));
        if (format != u"csv" && format != u"jsonl") {
            return QStringLiteral("--format must be csv or jsonl");
        }
    }
    if (name == u"set-low" || name == u"set-high") {
        bool ok = false;
        const double value = words.value(0).toDouble(&ok);
        if (!ok || !std::isfinite(value)) {
            return QStringLiteral("%1: VALUE must be a number such as 12.5").arg(name);
        }
    }
    if (name == u"module" && words.value(0) == u"set") {
        const QString key = words.value(1);
        const QString value = words.value(2).toUpper();
        static const QStringList rates{QStringLiteral("1200"),  QStringLiteral("2400"),
                                       QStringLiteral("4800"),  QStringLiteral("9600"),
                                       QStringLiteral("19200"), QStringLiteral("38400"),
                                       QStringLiteral("57600"), QStringLiteral("115200")};
        if (key == u"baud" ? !rates.contains(value)
            : key == u"parity"
                ? !QStringList{QStringLiteral("N"), QStringLiteral("O"), QStringLiteral("E")}
                       .contains(value)
                : true) {
            return QStringLiteral("module set takes baud 1200 ... 115200 or parity N, O or E");
        }
    }
    if (name == u"wifi" && words.value(0) == u"static") {
        for (const QString& address : words.mid(1)) {
            if (!isIpv4(address)) {
                return QStringLiteral("wifi static: '%1' is not an IPv4 address").arg(address);
            }
        }
    }
    return QString();
}

int runOnScale(const CommandLine& line, const Invocation& invocation) {
    const QString name = invocation.command->name;
    const std::optional<int> timeoutMs = replyTimeoutMs(invocation);
    if (!timeoutMs) {
        return usage(line, QStringLiteral("--timeout must be a number of milliseconds from 1 to "
                                          "600000"));
    }
    QString error = badValue(invocation);
    if (!error.isEmpty()) {
        return usage(line, error);
    }
    const std::optional<ConnectionTarget> target =
        ConnectionTarget::fromInvocation(invocation, &error);
    if (!target) {
        return usage(line, error);
    }
    if (name == u"module" && target->kind != ConnectionTarget::Kind::Ethernet) {
        return usage(line, QStringLiteral("module needs --tcp or --udp"));
    }
    ScaleSession session;
    const int opened = session.open(*target, &error);
    if (opened != ExitCode::kSuccess) {
        return fail(opened, error);
    }
    const CommandContext context{invocation, session, *timeoutMs};
    if (name == u"read") {
        return runRead(context);
    }
    if (name == u"info") {
        return runInfo(context);
    }
    if (name == u"weigh") {
        return runWeigh(context);
    }
    if (name == u"firmware") {
        return runFirmware(context);
    }
    if (name == u"module") {
        return runModule(context);
    }
    if (name == u"wifi") {
        return runWifi(context);
    }
    return runAcknowledged(context);
}

}  // namespace

int writeResult(const Invocation& invocation, const QByteArray& data) {
    QString error;
    if (!ResultOutput(invocation.value(QStringLiteral("out"))).write(data, &error)) {
        return fail(ExitCode::kFailed, error);
    }
    return ExitCode::kSuccess;
}

int runQelscale(const QStringList& arguments) {
    CommandLine line;
    switch (line.parse(arguments)) {
        case CommandLine::Outcome::Help:
            std::fputs(line.helpText().toLocal8Bit().constData(), stdout);
            return ExitCode::kSuccess;
        case CommandLine::Outcome::Version:
            std::fputs(CommandLine::versionText().toLocal8Bit().constData(), stdout);
            return ExitCode::kSuccess;
        case CommandLine::Outcome::UsageError:
            return usage(line, line.error());
        case CommandLine::Outcome::Run:
            break;
    }
    const Invocation& invocation = line.invocation();
    if (invocation.command->name == u"ports") {
        return runPorts(invocation);
    }
    return runOnScale(line, invocation);
}
