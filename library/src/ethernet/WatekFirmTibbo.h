// The firmware load of the Ethernet module, on a thread of its own.
#pragma once

#include "QELScale.h"

namespace qel {

class CInterfejs;

// Starts the load of the firmware file at `path` through `transport`; the
// thread frees itself. False when it could not be started.
bool StartModuleFirmwareUpdate(const char* path, CInterfejs* transport, ProgressCallback onProgress,
                               StatusCallback onStatus);

}  // namespace qel
