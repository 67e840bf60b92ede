// The D2XX library and the converter list, shared by every USB transport of
// the process. The device object loads them when its connection kind becomes
// USB and releases them when the kind changes again or the object goes.
#pragma once

#include <memory>
#include <string>

#include "usb/D2xxLibrary.h"
#include "usb/parametry_USB.h"

namespace qel {

struct UsbModuleState {
    // Null while no D2XX library is loaded.
    std::shared_ptr<const D2xxLibrary> library;
    // Null when there is no list: not built, nothing found, or refused.
    std::shared_ptr<const UsbDeviceList> devices;
};

// What is loaded now. An open converter keeps its own reference to the
// library, so releasing the module never pulls the library out from under a
// handle that still has to be closed.
UsbModuleState CurrentUsbModule();

// Why the last load found no D2XX library (none when it did).
Failure LastUsbLoadFailure();

}  // namespace qel
