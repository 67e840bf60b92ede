#include "usb/CUSB.h"

namespace qel {

void LoadUsbLibrary() {}

void ReleaseUsbLibrary() {}

}  // namespace qel
