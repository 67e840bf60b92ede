#include "ConnectionTarget.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include "CommandLine.h"

namespace {

// The library's rates, as the command line spells them.
QStringList baudTexts() {
    QStringList texts;
    for (const int32_t rate : qelscale::kBaudRates) {
        texts << QString::number(rate);
    }
    return texts;
}

const QStringList kBaudRates = baudTexts();

// "COM3" stands for the third serial port; anything else is a device path.
// A bare name such as ttyUSB0 is looked for in /dev when it is not a file here.
QString serialParameter(const QString& port) {
    static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]{0,5})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = comName.match(port);
    if (match.hasMatch()) {
        return match.captured(1);
    }
    if (!port.contains(u'/') && !QFileInfo::exists(port) &&
        QFileInfo::exists(QStringLiteral("/dev/") + port)) {
        return QStringLiteral("/dev/") + port;
    }
    return QDir::current().absoluteFilePath(port);
}

bool parseHostPort(const QString& text, QString* host, int* port) {
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0) {
        return false;
    }
    bool ok = false;
    *port = text.mid(colon + 1).toInt(&ok);
    *host = text.left(colon);
    return ok && *port >= 1 && *port <= 65535;
}

bool setLineOptions(const Invocation& invocation, ConnectionTarget& target, QString* error) {
    target.baud = invocation.value(QStringLiteral("baud"));
    if (invocation.isSet(QStringLiteral("baud")) && !kBaudRates.contains(target.baud)) {
        *error =
            QStringLiteral("--baud must be one of %1").arg(kBaudRates.join(QStringLiteral(", ")));
        return false;
    }
    target.parity = invocation.value(QStringLiteral("parity")).toUpper();
    if (invocation.isSet(QStringLiteral("parity")) &&
        !QStringList{QStringLiteral("N"), QStringLiteral("O"), QStringLiteral("E")}.contains(
            target.parity)) {
        *error = QStringLiteral("--parity must be N, O or E");
        return false;
    }
    target.bits = invocation.value(QStringLiteral("bits"));
    if (invocation.isSet(QStringLiteral("bits"))) {
        if (target.kind == ConnectionTarget::Kind::Ethernet) {
            *error = QStringLiteral("--bits applies to --port and --usb only");
            return false;
        }
        if (target.bits != u"7" && target.bits != u"8") {
            *error = QStringLiteral("--bits must be 7 or 8");
            return false;
        }
    }
    return true;
}

bool setRouting(const Invocation& invocation, ConnectionTarget& target, QString* error) {
    const bool routing = invocation.isSet(QStringLiteral("routing"));
    const bool broadcast = invocation.isSet(QStringLiteral("broadcast"));
    if (!routing && !broadcast) {
        return true;
    }
    if (!target.udp) {
        *error = QStringLiteral("--routing and --broadcast apply to --udp only");
        return false;
    }
    const QString value = invocation.value(QStringLiteral("routing"));
    if (routing && value != u"unicast" && value != u"broadcast") {
        *error = QStringLiteral("--routing must be unicast or broadcast");
        return false;
    }
    target.broadcast = broadcast || value == u"broadcast";
    return true;
}

bool setKind(const Invocation& invocation, ConnectionTarget& target, QString* error) {
    if (invocation.isSet(QStringLiteral("port"))) {
        target.kind = ConnectionTarget::Kind::Serial;
        target.serialPort = serialParameter(invocation.value(QStringLiteral("port")));
        return true;
    }
    if (invocation.isSet(QStringLiteral("usb"))) {
        target.kind = ConnectionTarget::Kind::Usb;
        bool ok = false;
        target.usbDevice = invocation.value(QStringLiteral("usb")).toInt(&ok);
        if (!ok || target.usbDevice < 1) {
            *error = QStringLiteral("--usb must be a converter number from 1 on");
            return false;
        }
        return true;
    }
    target.kind = ConnectionTarget::Kind::Ethernet;
    target.udp = invocation.isSet(QStringLiteral("udp"));
    const QString option = target.udp ? QStringLiteral("udp") : QStringLiteral("tcp");
    if (!parseHostPort(invocation.value(option), &target.host, &target.port)) {
        *error = QStringLiteral("--%1 must be HOST:PORT with a port from 1 to 65535").arg(option);
        return false;
    }
    return true;
}

}  // namespace

QString ConnectionTarget::displayName() const {
    switch (kind) {
        case Kind::Serial:
            return serialPort.startsWith(u'/') ? serialPort : QStringLiteral("COM") + serialPort;
        case Kind::Usb:
            return QStringLiteral("USB %1").arg(usbDevice);
        case Kind::Ethernet:
            return QStringLiteral("%1 %2:%3")
                .arg(udp ? QStringLiteral("UDP") : QStringLiteral("TCP"), host)
                .arg(port);
    }
    return QString();
}

QString ConnectionTarget::archiveText() const {
    const QString line = QStringLiteral("%1 %2 %3")
                             .arg(baud.isEmpty() ? QStringLiteral("9600") : baud,
                                  bits.isEmpty() ? QStringLiteral("8") : bits,
                                  parity.isEmpty() ? QStringLiteral("N") : parity);
    switch (kind) {
        case Kind::Serial:
            return QStringLiteral("COM %1 %2").arg(displayName(), line);
        case Kind::Usb:
            return QStringLiteral("USB USB%1 %2").arg(usbDevice).arg(line);
        case Kind::Ethernet:
            return QStringLiteral("Ethernet %1:%2 %3")
                .arg(host)
                .arg(port)
                .arg(udp ? QStringLiteral("UDP") : QStringLiteral("TCP"));
    }
    return QString();
}

std::optional<ConnectionTarget> ConnectionTarget::fromInvocation(const Invocation& invocation,
                                                                 QString* error) {
    int given = 0;
    for (const char* name : {"port", "usb", "tcp", "udp"}) {
        given += invocation.isSet(QLatin1String(name)) ? 1 : 0;
    }
    if (given != 1) {
        *error = given == 0
                     ? QStringLiteral("no connection given: use --port, --usb, --tcp or --udp")
                     : QStringLiteral("give only one of --port, --usb, --tcp and --udp");
        return std::nullopt;
    }
    ConnectionTarget target;
    if (!setKind(invocation, target, error) || !setLineOptions(invocation, target, error) ||
        !setRouting(invocation, target, error)) {
        return std::nullopt;
    }
    return target;
}

std::optional<int> replyTimeoutMs(const Invocation& invocation) {
    bool ok = false;
    const int ms = invocation.value(QStringLiteral("timeout")).toInt(&ok);
    if (!ok || ms < 1 || ms > 600000) {
        return std::nullopt;
    }
    return ms;
}
