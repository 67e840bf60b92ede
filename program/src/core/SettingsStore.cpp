#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace {

// A settings object per access, like the registry object of the original:
// nothing is cached between steps.
QSettings openStore() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("VESK"),
                     QStringLiteral("Tarvo"));
}

QString findKey(const QSettings& settings, const QString& name) {
    const QStringList keys = settings.childKeys();
    for (const QString& key : keys) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return key;
        }
    }
    return {};
}

// Far beyond any desktop, small enough that no sum of them overflows.
constexpr int kMaxCoordinate = 1000000;
constexpr int kMaxExtent = 100000;
constexpr int kMaxColumns = 256;

// "x,y,width,height" in plain digits, whatever the locale.
std::optional<QRect> geometryFromText(const QString& text) {
    const QStringList parts = text.split(u',');
    if (parts.size() != 4) {
        return std::nullopt;
    }
    int numbers[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        numbers[i] = parts[i].trimmed().toInt(&ok);
        const int limit = i < 2 ? kMaxCoordinate : kMaxExtent;
        if (!ok || numbers[i] > limit || numbers[i] < (i < 2 ? -kMaxCoordinate : 1)) {
            return std::nullopt;
        }
    }
    return QRect(numbers[0], numbers[1], numbers[2], numbers[3]);
}

QString geometryText(const QRect& geometry) {
    return QStringLiteral("%1,%2,%3,%4")
        .arg(geometry.x())
        .arg(geometry.y())
        .arg(geometry.width())
        .arg(geometry.height());
}

QList<int> widthsFromText(const QString& text) {
    QList<int> widths;
    if (text.isEmpty()) {
        return widths;
    }
    const QStringList parts = text.split(u',');
    for (const QString& part : parts.mid(0, kMaxColumns)) {
        bool ok = false;
        const int width = part.trimmed().toInt(&ok);
        widths.append(ok && width > 0 && width <= kMaxExtent ? width : 0);
    }
    return widths;
}

QString widthsText(const QList<int>& widths) {
    QStringList parts;
    for (int width : widths.mid(0, kMaxColumns)) {
        parts.append(QString::number(width > 0 && width <= kMaxExtent ? width : 0));
    }
    return parts.join(u',');
}

}  // namespace

bool SettingsStore::exists() const {
    QSettings settings = openStore();
    return !settings.allKeys().isEmpty() || QFileInfo::exists(settings.fileName());
}

void SettingsStore::ensureExists() {
    QSettings settings = openStore();
    if (!settings.allKeys().isEmpty() || QFileInfo::exists(settings.fileName())) {
        return;
    }
    const QFileInfo file(settings.fileName());
    if (QDir().mkpath(file.absolutePath())) {
        QFile store(file.absoluteFilePath());
        if (store.open(QIODevice::WriteOnly)) {
            store.close();
        }
    }
}

QString SettingsStore::value(const QString& name) const {
    QSettings settings = openStore();
    const QString key = findKey(settings, name);
    if (key.isEmpty()) {
        return {};
    }
    const QVariant stored = settings.value(key);
    return stored.canConvert<QString>() ? stored.toString() : QString();
}

bool SettingsStore::setValues(const QList<QPair<QString, QString>>& values) {
    QSettings settings = openStore();
    for (const auto& [name, text] : values) {
        // One value per name whatever its case: drop a differently written twin.
        const QString existing = findKey(settings, name);
        if (!existing.isEmpty() && existing != name) {
            settings.remove(existing);
        }
        settings.setValue(name, text);
    }
    settings.sync();
    return settings.status() == QSettings::NoError;
}

StoredConnection SettingsStore::readConnection() const {
    StoredConnection stored;
    stored.comPort = value(QStringLiteral("COM_port"));
    stored.comBaudrate = value(QStringLiteral("COM_baudrate"));
    stored.comParity = value(QStringLiteral("COM_parity"));
    stored.comBits = value(QStringLiteral("COM_bits"));
    stored.ethIp = value(QStringLiteral("Eth_ip"));
    stored.ethPort = value(QStringLiteral("Eth_port"));
    stored.usbDevice = value(QStringLiteral("USB_device"));
    stored.usbBaud = value(QStringLiteral("USB_baud"));
    stored.usbBits = value(QStringLiteral("USB_Bits"));
    stored.usbParity = value(QStringLiteral("USB_Parity"));
    stored.lastUsed = value(QStringLiteral("Last Used"));
    return stored;
}

StoredWindow SettingsStore::readWindow() const {
    StoredWindow window;
    window.geometry = geometryFromText(value(QStringLiteral("Window_geometry")));
    window.maximized = value(QStringLiteral("Window_maximized")) == QLatin1String("1");
    window.columnWidths = widthsFromText(value(QStringLiteral("Grid_columns")));
    return window;
}

// Texts like every other value, so that the store stays readable and a
// damaged value spoils only itself.
bool SettingsStore::saveWindow(const StoredWindow& window) {
    QList<QPair<QString, QString>> values;
    if (window.geometry && window.geometry->isValid()) {
        values.append({QStringLiteral("Window_geometry"), geometryText(*window.geometry)});
    }
    values.append({QStringLiteral("Window_maximized"),
                   window.maximized ? QStringLiteral("1") : QStringLiteral("0")});
    values.append({QStringLiteral("Grid_columns"), widthsText(window.columnWidths)});
    return setValues(values);
}

QString SettingsStore::language() const {
    return value(QStringLiteral("Language"));
}

bool SettingsStore::saveLanguage(const QString& language) {
    return setValues({{QStringLiteral("Language"), language}});
}
