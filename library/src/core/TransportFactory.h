#pragma once

#include <cstdint>
#include <memory>

namespace qel {

class CInterfejs;

// A closed transport of the connection kind: 0 serial line, 1 USB converter,
// 2 Ethernet module; null for any other kind.
std::unique_ptr<CInterfejs> CreateTransport(int32_t kind);

}  // namespace qel
