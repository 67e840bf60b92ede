#pragma once

#include <cstdint>
#include <memory>

namespace qel {

class CInterfejs;

// A closed transport of the connection kind (qelscale::kConnectionSerial,
// kConnectionUsb or kConnectionEthernet); null for any other kind.
std::unique_ptr<CInterfejs> CreateTransport(int32_t kind);

}  // namespace qel
