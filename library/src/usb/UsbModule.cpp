#include "usb/UsbModule.h"

#include <mutex>

#include "usb/CUSB.h"

namespace qel {
namespace {

// Every scale object of the process shares this, and objects may live on
// different threads, so it is only ever read or replaced under the lock.
struct UsbModule {
    std::mutex mutex;
    UsbModuleState state;
    std::string loadError;
    // Scale objects that have loaded the module and not yet released it: one
    // object leaving USB must not take the converters from another.
    int users = 0;
};

UsbModule& Module() {
    static UsbModule module;
    return module;
}

}  // namespace

UsbModuleState CurrentUsbModule() {
    std::lock_guard lock(Module().mutex);
    return Module().state;
}

std::string LastUsbLoadError() {
    std::lock_guard lock(Module().mutex);
    return Module().loadError;
}

void LoadUsbLibrary() {
    UsbModule& module = Module();
    std::lock_guard lock(module.mutex);
    ++module.users;
    if (!module.state.library) {
        std::string error;
        module.state.library = D2xxLibrary::Load(&error);
        module.loadError = error;
    }
    module.state.devices.reset();
    if (module.state.library) {
        if (auto list = ListUsbConverters(*module.state.library)) {
            module.state.devices = std::make_shared<const UsbDeviceList>(std::move(*list));
        }
    }
}

void ReleaseUsbLibrary() {
    UsbModuleState released;
    {
        std::lock_guard lock(Module().mutex);
        if (Module().users > 0 && --Module().users > 0) {
            return;
        }
        released = std::move(Module().state);
        Module().state = UsbModuleState{};
    }
    // The library is unloaded here, outside the lock, unless an open
    // converter still holds it.
}

}  // namespace qel
