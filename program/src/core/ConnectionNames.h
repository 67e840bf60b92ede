#pragma once

#include <QString>
#include <QStringList>

// How the names in the port lists become library parameters and stored
// values. A "COMn" or "USBn" name stands for its number; on Linux a serial
// port is usually a device path, which is passed and stored whole.
namespace ConnectionNames {

bool isDevicePath(const QString& port);

// "COM12" -> "12" (at most 7 characters); a device path stays whole.
QString comParameter(const QString& port);
// "COM12" -> "12", "COM1234" -> "123"; a device path stays whole.
QString comStoredValue(const QString& port);
// The inverse for the list: "12" -> "COM12"; a device path stays whole.
QString comPortFromStored(const QString& stored);

QString usbParameter(const QString& device);
QString usbStoredValue(const QString& device);
QString usbDeviceFromStored(const QString& stored);

// "Even" -> "E", "Odd" -> "O", "None" -> "N".
QString parityLetter(const QString& parity);

// The library's "comports" answer: one port per CR LF ended line; a last
// piece without its CR LF is not a port.
QStringList comPortsFromAnswer(const char* answer);
// The library's "count" answer, kept in 8 bits: "3" -> USB3, USB2, USB1.
QStringList usbDevicesFromCount(const char* count);

}  // namespace ConnectionNames
