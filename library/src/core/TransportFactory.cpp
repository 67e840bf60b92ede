#include "core/TransportFactory.h"

#include "QELScale.h"
#include "ethernet/CEthernet.h"
#include "serial/CSerialPort.h"
#include "usb/CUSB.h"

namespace qel {

std::unique_ptr<CInterfejs> CreateTransport(int32_t kind) {
    switch (kind) {
        case qelscale::kConnectionSerial:
            return std::make_unique<CSerialPort>();
        case qelscale::kConnectionUsb:
            return std::make_unique<CUSB>();
        case qelscale::kConnectionEthernet:
            return std::make_unique<CEthernet>();
        default:
            return nullptr;
    }
}

}  // namespace qel
