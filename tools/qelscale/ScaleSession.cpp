#include "ScaleSession.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <exception>

#include "ConnectionTarget.h"
#include "ExitCode.h"
#include "LibraryText.h"

namespace {

// The Ethernet transport takes a dotted IPv4 address only; a host name is
// looked up here so that scripts can name their scales.
QString ipv4Address(const QString& host) {
    const QByteArray name = host.toUtf8();
    in_addr address{};
    if (inet_pton(AF_INET, name.constData(), &address) == 1) {
        return host;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.constData(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return QString();
    }
    char text[INET_ADDRSTRLEN] = {};
    const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    inet_ntop(AF_INET, &ipv4->sin_addr, text, sizeof text);
    freeaddrinfo(found);
    return QString::fromLatin1(text);
}

bool setParameter(CVESKDeviceInterface* device, const char* key, const QString& value) {
    return device->SetParameter(key, value.toUtf8().constData());
}

}  // namespace

ScaleSession::ScaleSession() : scale_(GetVESKScaleInstance()) {}

ScaleSession::~ScaleSession() {
    if (scale_ != nullptr) {
        device()->StopListener();
        device()->Disconnect();
        device()->Release();
    }
}

QString ScaleSession::parameter(const char* key) const {
    return fromLibraryText(device()->GetParameter(key));
}

int ScaleSession::open(const ConnectionTarget& target, QString* message) {
    if (scale_ == nullptr) {
        *message = QStringLiteral("the QELScale library could not create its scale object");
        return ExitCode::kNoConnection;
    }
    connectionText_ = target.archiveText();
    device()->SetConnectionKind(static_cast<int32_t>(target.kind));
    switch (target.kind) {
        case ConnectionTarget::Kind::Serial:
            return openSerial(target, message);
        case ConnectionTarget::Kind::Usb:
            return openUsb(target, message);
        case ConnectionTarget::Kind::Ethernet:
            return openEthernet(target, message);
    }
    return ExitCode::kNoConnection;
}

bool ScaleSession::setLine(const ConnectionTarget& target) {
    bool ok = true;
    if (!target.baud.isEmpty()) {
        ok = setParameter(device(), "baud", target.baud) && ok;
    }
    if (!target.parity.isEmpty()) {
        ok = setParameter(device(), "parity", target.parity) && ok;
    }
    if (!target.bits.isEmpty()) {
        ok = setParameter(device(), "bits", target.bits) && ok;
    }
    return ok;
}

int ScaleSession::openSerial(const ConnectionTarget& target, QString* message) {
    if (!setParameter(device(), "COM", target.serialPort) || !setLine(target)) {
        *message =
            QStringLiteral("%1: the library refused these line settings").arg(target.displayName());
        return ExitCode::kNoConnection;
    }
    return connect(target, message);
}

int ScaleSession::openUsb(const ConnectionTarget& target, QString* message) {
    // "?" means no converter list: no D2XX library or no converter attached.
    bool counted = false;
    const int count = parameter("count").toInt(&counted);
    if (!counted || target.usbDevice > count) {
        const QString reason = failureReason();
        *message = QStringLiteral("could not connect to %1: %2")
                       .arg(target.displayName(),
                            !reason.isEmpty() ? reason
                            : counted         ? QStringLiteral("%1 converter(s) found").arg(count)
                                      : QStringLiteral("no FTDI converter found (is the D2XX "
                                                       "library libftd2xx installed?)"));
        return ExitCode::kNoConnection;
    }
    setParameter(device(), "device", QString::number(target.usbDevice));
    if (!setLine(target)) {
        *message =
            QStringLiteral("%1: the library refused these line settings").arg(target.displayName());
        return ExitCode::kNoConnection;
    }
    return connect(target, message);
}

int ScaleSession::openEthernet(const ConnectionTarget& target, QString* message) {
    const QString ip = ipv4Address(target.host);
    if (ip.isEmpty()) {
        *message = QStringLiteral("could not connect to %1: the host name is not known")
                       .arg(target.displayName());
        return ExitCode::kNoConnection;
    }
    try {
        setParameter(device(), "protokol",
                     target.udp ? QStringLiteral("udp") : QStringLiteral("tcp"));
        setParameter(device(), "ip", ip);
        setParameter(device(), "port", QString::number(target.port));
        if (target.broadcast) {
            setParameter(device(), "routing", QStringLiteral("broadcast"));
        }
    } catch (const std::exception& error) {
        *message =
            QStringLiteral("%1: %2").arg(target.displayName(), QString::fromUtf8(error.what()));
        return ExitCode::kNoConnection;
    }
    const int opened = connect(target, message);
    return opened == ExitCode::kSuccess ? setModuleSerial(target, message) : opened;
}

// The Ethernet module's serial side is set over its service channel, which
// exists only while the connection is open.
int ScaleSession::setModuleSerial(const ConnectionTarget& target, QString* message) {
    if (!target.baud.isEmpty() && !setParameter(device(), "baud", target.baud)) {
        *message = QStringLiteral("the Ethernet module refused --baud %1").arg(target.baud);
        return ExitCode::kFailed;
    }
    if (!target.parity.isEmpty() && !setParameter(device(), "parity", target.parity)) {
        *message = QStringLiteral("the Ethernet module refused --parity %1").arg(target.parity);
        return ExitCode::kFailed;
    }
    return ExitCode::kSuccess;
}

int ScaleSession::connect(const ConnectionTarget& target, QString* message) {
    if (device()->Connect()) {
        return ExitCode::kSuccess;
    }
    // The library's reason names the port or address itself.
    const QString reason = failureReason();
    *message = reason.isEmpty() ? QStringLiteral(
                                      "could not connect to %1: the connection could "
                                      "not be opened")
                                      .arg(target.displayName())
                                : QStringLiteral("could not connect: %1").arg(reason);
    return ExitCode::kNoConnection;
}

// The library keeps the reason of its last failure under "error" as
// "<code>: <port or address>: <reason>"; a library without that key answers
// nothing.
QString ScaleSession::failureReason() const {
    return parameter("error").trimmed();
}
