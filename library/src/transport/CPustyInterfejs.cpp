#include "transport/CPustyInterfejs.h"

namespace qel {

bool CPustyInterfejs::Open() {
    Fail("open", Failure(FailureCode::kInvalid, "no connection kind chosen: nothing to open"));
    return false;
}

bool CPustyInterfejs::ReadLine(std::string& out, const int32_t&, uint32_t) {
    out.clear();
    return false;
}

}  // namespace qel
