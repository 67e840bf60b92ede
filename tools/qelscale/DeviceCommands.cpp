// ports, info, weigh and the acknowledged commands: one short exchange each.
#include <QStringList>

#include "CallbackHub.h"
#include "CommandLine.h"
#include "CommandTable.h"
#include "Commands.h"
#include "ExitCode.h"
#include "Failure.h"
#include "LibraryText.h"
#include "RecordFormat.h"
#include "ScaleSession.h"

namespace {

QString weightText(double value) {
    return QString::number(value, 'g', 12);
}

QByteArray keyValueText(const QList<std::pair<QString, QString>>& pairs) {
    QString text;
    for (const auto& [key, value] : pairs) {
        text += key + QStringLiteral(": ") + value + u'\n';
    }
    return text.toUtf8();
}

int acknowledged(bool accepted, const QString& command) {
    if (!accepted) {
        return fail(ExitCode::kFailed,
                    QStringLiteral("the scale did not acknowledge %1").arg(command));
    }
    return ExitCode::kSuccess;
}

int weighSi(const CommandContext& context, bool json) {
    CallbackHub& hub = CallbackHub::instance();
    hub.reset();
    context.session.scale()->RequestSI(&CallbackHub::onWeight, context.timeoutMs);
    CallbackHub::Snapshot last;
    // The listener's own budget ends the wait on a silent scale; the slack
    // covers its 100 ms steps.
    hub.waitUntil(
        [&last](const CallbackHub::Snapshot& state) {
            last = state;
            return state.weight.has_value();
        },
        std::chrono::milliseconds(context.timeoutMs + 500));
    context.session.device()->StopListener();
    if (!last.weight) {
        return fail(ExitCode::kFailed, QStringLiteral("the scale sent no weight"));
    }
    const WeighingResult& weight = *last.weight;
    const QString unit = RecordFormat::unitSymbol(weight.unit);
    const bool outside = !weight.noHighLow;
    const QString text = json ? QStringLiteral("{\"value\":%1,\"unit\":%2,\"highOrLow\":%3}\n")
                                    .arg(weightText(weight.value), RecordFormat::jsonString(unit),
                                         outside ? QStringLiteral("true") : QStringLiteral("false"))
                              : QStringLiteral("%1 %2%3\n")
                                    .arg(weightText(weight.value), unit,
                                         outside ? QStringLiteral(" high-or-low") : QString());
    return writeResult(context.invocation, text.toUtf8());
}

int weighSx3(const CommandContext& context, bool json) {
    const WeighingResult weight = context.session.scale()->ReadSx3(context.timeoutMs);
    if (!weight.received) {
        return fail(ExitCode::kFailed, QStringLiteral("the scale did not answer Sx3"));
    }
    const QString unit = RecordFormat::unitSymbol(weight.unit);
    const bool stable = weight.status == 1;
    const QString text =
        json ? QStringLiteral("{\"value\":%1,\"unit\":%2,\"stable\":%3}\n")
                   .arg(weightText(weight.value), RecordFormat::jsonString(unit),
                        stable ? QStringLiteral("true") : QStringLiteral("false"))
             : QStringLiteral("%1 %2%3\n")
                   .arg(weightText(weight.value), unit,
                        stable ? QStringLiteral(" stable") : QStringLiteral(" unstable"));
    return writeResult(context.invocation, text.toUtf8());
}

}  // namespace

int runPorts(const Invocation& invocation) {
    CVESKScaleInterface* scale = GetVESKScaleInstance();
    if (scale == nullptr) {
        return fail(ExitCode::kFailed, QStringLiteral("the QELScale library could not create "
                                                      "its scale object"));
    }
    CVESKDeviceInterface* device = scale;
    QString text;
    device->SetConnectionKind(qelscale::kConnectionSerial);
    // One port per CR LF ended line.
    for (const QString& port : fromLibraryText(device->GetParameter("comports"))
                                   .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        text += QStringLiteral("serial\t%1\n").arg(port);
    }
    device->SetConnectionKind(qelscale::kConnectionUsb);
    bool counted = false;
    const int converters = fromLibraryText(device->GetParameter("count")).toInt(&counted);
    for (int n = 1; counted && n <= converters; ++n) {
        text += QStringLiteral("usb\t%1\n").arg(n);
    }
    device->Release();
    return writeResult(invocation, text.toUtf8());
}

int runInfo(const CommandContext& context) {
    const DeviceInfo info = context.session.scale()->ReadSW9(context.timeoutMs);
    const QList<std::pair<QString, QString>> texts{
        {QStringLiteral("type"), fromLibraryText(info.type)},
        {QStringLiteral("productionDate"), fromLibraryText(info.productionDate)},
        {QStringLiteral("extraText1"), fromLibraryText(info.extraText1)},
        {QStringLiteral("recordHeader"), fromLibraryText(info.recordHeader)},
        {QStringLiteral("extraText2"), fromLibraryText(info.extraText2)}};
    bool answered = false;
    for (const auto& pair : texts) {
        answered = answered || !pair.second.isEmpty();
    }
    if (!answered) {
        return fail(ExitCode::kFailed, QStringLiteral("the scale did not answer SW9"));
    }
    if (context.invocation.isSet(QStringLiteral("json"))) {
        const QString text = QStringLiteral(
                                 "{\"type\":%1,\"serialNumber\":%2,\"productionDate\":%3,"
                                 "\"extraText1\":%4,\"recordHeader\":%5,\"extraNumber\":%6,"
                                 "\"extraText2\":%7}\n")
                                 .arg(RecordFormat::jsonString(texts[0].second))
                                 .arg(info.serialNumber)
                                 .arg(RecordFormat::jsonString(texts[1].second),
                                      RecordFormat::jsonString(texts[2].second),
                                      RecordFormat::jsonString(texts[3].second))
                                 .arg(info.extraNumber)
                                 .arg(RecordFormat::jsonString(texts[4].second));
        return writeResult(context.invocation, text.toUtf8());
    }
    return writeResult(
        context.invocation,
        keyValueText({texts[0],
                      {QStringLiteral("serialNumber"), QString::number(info.serialNumber)},
                      texts[1],
                      texts[2],
                      texts[3],
                      {QStringLiteral("extraNumber"), QString::number(info.extraNumber)},
                      texts[4]}));
}

int runWeigh(const CommandContext& context) {
    const bool json = context.invocation.isSet(QStringLiteral("json"));
    return context.invocation.isSet(QStringLiteral("sx3")) ? weighSx3(context, json)
                                                           : weighSi(context, json);
}

int runAcknowledged(const CommandContext& context) {
    CVESKScaleInterface* scale = context.session.scale();
    const QString name = context.invocation.command->name;
    const int ms = context.timeoutMs;
    if (name == u"tare") {
        return acknowledged(scale->SendST(ms), QStringLiteral("ST"));
    }
    if (name == u"zero") {
        return acknowledged(scale->SendSZ(ms), QStringLiteral("SZ"));
    }
    if (name == u"ss") {
        return acknowledged(scale->SendSS(ms), QStringLiteral("SS"));
    }
    if (name == u"sj") {
        return acknowledged(scale->SendSJ(ms), QStringLiteral("SJ"));
    }
    // The value was checked with the command line.
    const double value = context.invocation.words.value(0).toDouble();
    if (name == u"set-low") {
        return acknowledged(scale->SendSL(value, ms), QStringLiteral("SL"));
    }
    return acknowledged(scale->SendSH(value, ms), QStringLiteral("SH"));
}
