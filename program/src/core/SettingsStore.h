#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <optional>

// What the settings panel last saved, as stored (texts, empty when missing).
struct StoredConnection {
    QString lastUsed;
    QString comPort;
    QString comBaudrate;
    QString comParity;
    QString comBits;
    QString usbDevice;
    QString usbBaud;
    QString usbParity;
    QString usbBits;
    QString ethIp;
    QString ethPort;
};

// The window as the operator left it. The geometry is the frame's top-left
// corner with the client area's size; widths are the grid's columns by
// position, 0 where none is kept. What cannot be read is left out.
struct StoredWindow {
    std::optional<QRect> geometry;
    bool maximized = false;
    QList<int> columnWidths;
};

// The per-user store of the connection and language choice, on
// QSettings("VESK", "Tarvo"). Value names are matched regardless of letter
// case, as the original registry store did: older code read "USB_Bits" where
// it wrote "USB_bits", and both must name one value.
class SettingsStore {
public:
    // True once anything created the store: a saved value or the language
    // step at start (ensureExists).
    bool exists() const;
    // Creates the empty store, so that later starts read it (the values then
    // read as empty texts).
    void ensureExists();

    // Empty text when the value is missing or holds no text.
    QString value(const QString& name) const;
    // False when the store cannot be written.
    bool setValues(const QList<QPair<QString, QString>>& values);

    StoredConnection readConnection() const;

    StoredWindow readWindow() const;
    bool saveWindow(const StoredWindow& window);

    QString language() const;
    bool saveLanguage(const QString& language);
};
