#include <new>

#include "QELScale.h"
#include "core/CVESKScale.h"

extern "C" QELSCALE_API CVESKScaleInterface* GetVESKScaleInstance() {
    try {
        return new qel::CVESKScale();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
