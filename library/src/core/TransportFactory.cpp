#include "core/TransportFactory.h"

#include "ethernet/CEthernet.h"
#include "serial/CSerialPort.h"
#include "usb/CUSB.h"

namespace qel {

std::unique_ptr<CInterfejs> CreateTransport(int32_t kind) {
    switch (kind) {
        case 0:
            return std::make_unique<CSerialPort>();
        case 1:
            return std::make_unique<CUSB>();
        case 2:
            return std::make_unique<CEthernet>();
        default:
            return nullptr;
    }
}

}  // namespace qel
