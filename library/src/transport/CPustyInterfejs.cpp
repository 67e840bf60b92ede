#include "transport/CPustyInterfejs.h"

namespace qel {

bool CPustyInterfejs::ReadLine(std::string& out, const int32_t&, uint32_t) {
    out.clear();
    return false;
}

}  // namespace qel
