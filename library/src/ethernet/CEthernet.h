// The transport through the scale's Ethernet module. Not built yet: the
// transport fails every operation.
#pragma once

#include "transport/CPustyInterfejs.h"

namespace qel {

class CEthernet : public CPustyInterfejs {};

}  // namespace qel
