#pragma once

#include <QString>
#include <optional>

#include "QELScale.h"

struct Invocation;

// Where the scale is and how to talk to it, checked from the command line
// before anything is opened.
struct ConnectionTarget {
    // The library's own kinds, so that one converts to the other.
    enum class Kind {
        Serial = qelscale::kConnectionSerial,
        Usb = qelscale::kConnectionUsb,
        Ethernet = qelscale::kConnectionEthernet,
    };

    Kind kind = Kind::Serial;
    // Serial: the library's "COM" value, a device path or a port number.
    QString serialPort;
    int usbDevice = 0;
    // Ethernet: the host as given, its port and the transport's protocol.
    QString host;
    int port = 0;
    bool udp = false;
    bool broadcast = false;
    // Line settings as given; empty leaves the library's default.
    QString baud;
    QString parity;
    QString bits;

    // How messages name the connection: "/dev/ttyUSB0", "USB 2", "TCP 10.0.0.5:1001".
    QString displayName() const;
    // How the record archive files the connection of a read, as the window
    // says it: "COM /dev/ttyUSB0 9600 8 N", "USB USB1 115200 8 E",
    // "Ethernet 192.168.1.75:1001 TCP".
    QString archiveText() const;

    // Null and `error` set when the options are missing, doubled or malformed.
    static std::optional<ConnectionTarget> fromInvocation(const Invocation& invocation,
                                                          QString* error);
};

// The reply timeout of --timeout in milliseconds; null for a bad value.
std::optional<int> replyTimeoutMs(const Invocation& invocation);
