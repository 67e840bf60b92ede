#include "ConnectionSetup.h"

#include "ConnectionNames.h"
#include "QELScale.h"

bool applyConnectionChoice(CVESKDeviceInterface& device, const ConnectionChoice& choice) {
    auto set = [&device](const char* key, const QString& value) {
        device.SetParameter(key, value.toUtf8().constData());
    };
    try {
        switch (choice.kind) {
            case ConnectionChoice::Kind::Com:
                device.SetConnectionKind(qelscale::kConnectionSerial);
                set("COM", ConnectionNames::comParameter(choice.comPort));
                set("parity", ConnectionNames::parityLetter(choice.parity));
                set("bits", choice.bits);
                set("baud", choice.baudRate);
                break;
            case ConnectionChoice::Kind::Usb:
                device.SetConnectionKind(qelscale::kConnectionUsb);
                set("device", ConnectionNames::usbParameter(choice.usbDevice));
                set("baud", choice.baudRate);
                set("bits", choice.bits);
                set("parity", ConnectionNames::parityLetter(choice.parity));
                break;
            case ConnectionChoice::Kind::Ethernet:
                device.SetConnectionKind(qelscale::kConnectionEthernet);
                set("ip", choice.ip);
                set("port", choice.port);
                break;
            case ConnectionChoice::Kind::None:
                break;
        }
    } catch (...) {
        return false;
    }
    return true;
}
