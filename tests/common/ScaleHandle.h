// A scale object from the library's factory, released when the test ends.
#pragma once

#include <memory>

#include "QELScale.h"

namespace qeltest {

struct ScaleDeleter {
    void operator()(CVESKScaleInterface* scale) const {
        static_cast<CVESKDeviceInterface*>(scale)->Release();
    }
};
using ScaleHandle = std::unique_ptr<CVESKScaleInterface, ScaleDeleter>;

inline ScaleHandle NewScale() {
    return ScaleHandle(GetVESKScaleInstance());
}

inline CVESKDeviceInterface* DeviceOf(const ScaleHandle& scale) {
    return scale.get();
}

}  // namespace qeltest
