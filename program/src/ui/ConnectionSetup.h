#pragma once

#include "TSettingsPanel.h"

class CVESKDeviceInterface;

// Passes the connection chosen in the settings panel to the device: the
// kind, then the port or device with its line settings, or the address.
// Values go as the controls show them, the parity as its letter. False when
// the device raised an error on the way (the read goes on all the same).
bool applyConnectionChoice(CVESKDeviceInterface& device, const ConnectionChoice& choice);
