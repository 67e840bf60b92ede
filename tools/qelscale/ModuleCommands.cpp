// module and wifi: the Ethernet module's service protocol and the WiFi
// module's configuration, both through the library's parameter keys.
#include <QStringList>

#include "CommandLine.h"
#include "Commands.h"
#include "ExitCode.h"
#include "Failure.h"
#include "LibraryText.h"
#include "ScaleSession.h"

namespace {

QString indentedReply(const QString& reply) {
    QString text;
    for (const QString& line :
         QString(reply).replace(u'\r', u'\n').split(u'\n', Qt::SkipEmptyParts)) {
        text += QStringLiteral("  ") + line + u'\n';
    }
    return text;
}

bool setWifi(CVESKScaleInterface* scale, const char* key, const QString& value) {
    return scale->SetWiFiParameter(key, value.toUtf8().constData());
}

int moduleShow(const CommandContext& context) {
    ScaleSession& session = context.session;
    const QString mac = session.parameter("mac");
    const QString owner = session.parameter("owner");
    const QString version = session.parameter("firmVer");
    const QString baud = session.parameter("baud");
    // "?" and "0" are the library's answers when the module said nothing.
    if (mac == u"?" && owner == u"?" && baud == u"0") {
        return fail(ExitCode::kFailed, QStringLiteral("the Ethernet module did not answer"));
    }
    const QString text = QStringLiteral("mac: %1\nowner: %2\nfirmVer: %3\nbaud: %4\n")
                             .arg(mac, owner, version, baud);
    return writeResult(context.invocation, text.toUtf8());
}

int moduleSet(const CommandContext& context) {
    const QString key = context.invocation.words.value(1);
    const QString value = context.invocation.words.value(2).toUpper();
    const QByteArray keyBytes = key.toLatin1();
    if (!context.session.device()->SetParameter(keyBytes.constData(),
                                                value.toLatin1().constData())) {
        return fail(ExitCode::kFailed,
                    QStringLiteral("the Ethernet module refused %1 %2").arg(key, value));
    }
    return ExitCode::kSuccess;
}

int wifiShow(const CommandContext& context) {
    CVESKScaleInterface* scale = context.session.scale();
    QString text;
    bool answered = false;
    for (const char* key : {"network", "dhcp", "dhcpfields", "workmode"}) {
        const QString reply = fromLibraryText(scale->GetWiFiParameter(key)).trimmed();
        answered = answered || !reply.isEmpty();
        text += QLatin1String(key) + QStringLiteral(":\n") + indentedReply(reply);
    }
    if (!answered) {
        return fail(ExitCode::kFailed, QStringLiteral("the WiFi module did not answer"));
    }
    return writeResult(context.invocation, text.toUtf8());
}

int wifiJoin(const CommandContext& context) {
    CVESKScaleInterface* scale = context.session.scale();
    const QString ssid = context.invocation.words.value(1);
    setWifi(scale, "ssid", ssid);
    setWifi(scale, "password", context.invocation.words.value(2));
    setWifi(scale, "bssid", context.invocation.value(QStringLiteral("bssid")));
    if (!scale->SetWiFiParameter("network", "connect")) {
        return fail(ExitCode::kFailed,
                    QStringLiteral("the WiFi module did not join the network %1").arg(ssid));
    }
    return ExitCode::kSuccess;
}

int wifiDhcp(const CommandContext& context) {
    if (!context.session.scale()->SetWiFiParameter("DHCP", "enable")) {
        return fail(ExitCode::kFailed, QStringLiteral("the WiFi module did not turn DHCP on"));
    }
    return ExitCode::kSuccess;
}

int wifiStatic(const CommandContext& context) {
    CVESKScaleInterface* scale = context.session.scale();
    const QStringList& words = context.invocation.words;
    setWifi(scale, "staticip", words.value(1));
    setWifi(scale, "staticmask", words.value(2));
    setWifi(scale, "staticgateway", words.value(3));
    if (!scale->SetWiFiParameter("DHCP", "disable")) {
        return fail(ExitCode::kFailed,
                    QStringLiteral("the WiFi module did not take the fixed addresses"));
    }
    return ExitCode::kSuccess;
}

}  // namespace

int runModule(const CommandContext& context) {
    const QString action = context.invocation.words.value(0);
    if (action == u"show") {
        return moduleShow(context);
    }
    if (action == u"set") {
        return moduleSet(context);
    }
    return runModuleFirmware(context);
}

int runWifi(const CommandContext& context) {
    const QString action = context.invocation.words.value(0);
    if (action == u"show") {
        return wifiShow(context);
    }
    if (action == u"join") {
        return wifiJoin(context);
    }
    if (action == u"dhcp") {
        return wifiDhcp(context);
    }
    return wifiStatic(context);
}
