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

QString SettingsStore::language() const {
    return value(QStringLiteral("Language"));
}

bool SettingsStore::saveLanguage(const QString& language) {
    return setValues({{QStringLiteral("Language"), language}});
}
