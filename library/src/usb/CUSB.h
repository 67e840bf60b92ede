// The transport through an FTDI USB converter (FTDI's D2XX library, loaded at
// run time). Not built yet: the transport fails every operation.
#pragma once

#include "transport/CPustyInterfejs.h"

namespace qel {

class CUSB : public CPustyInterfejs {};

// Loads the D2XX library if needed and lists the converters.
void LoadUsbLibrary();
// Frees the converter list and unloads the D2XX library.
void ReleaseUsbLibrary();

}  // namespace qel
