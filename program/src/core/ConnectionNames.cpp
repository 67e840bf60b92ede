#include "ConnectionNames.h"

#include "LibraryText.h"

namespace ConnectionNames {

bool isDevicePath(const QString& port) {
    return port.startsWith(u'/');
}

QString comParameter(const QString& port) {
    return isDevicePath(port) ? port : port.mid(3, 7);
}

QString comStoredValue(const QString& port) {
    return isDevicePath(port) ? port : port.mid(3, 3);
}

QString comPortFromStored(const QString& stored) {
    return isDevicePath(stored) ? stored : QStringLiteral("COM") + stored;
}

QString usbParameter(const QString& device) {
    return device.mid(3, 7);
}

QString usbStoredValue(const QString& device) {
    return device.mid(3, 3);
}

QString usbDeviceFromStored(const QString& stored) {
    return QStringLiteral("USB") + stored;
}

QString parityLetter(const QString& parity) {
    return parity.left(1);
}

QStringList comPortsFromAnswer(const char* answer) {
    QStringList ports;
    const QString text = fromLibraryText(answer);
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = text.indexOf(QLatin1String("\r\n"), start);
        if (end < 0) {
            break;
        }
        ports.append(text.mid(start, end - start));
        start = end + 2;
    }
    return ports;
}

QStringList usbDevicesFromCount(const char* count) {
    bool ok = false;
    const int value = fromLibraryText(count).trimmed().toInt(&ok);
    const int devices = ok ? (value & 0xFF) : 0;
    QStringList list;
    for (int k = devices; k >= 1; --k) {
        list.append(QStringLiteral("USB") + QString::number(k));
    }
    return list;
}

}  // namespace ConnectionNames
