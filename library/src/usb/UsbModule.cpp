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
    Failure loadFailure;
    // Scale objects that have loaded the module and not yet released it: one
    // object leaving USB must not take the converters from another.
    int users = 0;
};

UsbModule& Module() {
    static UsbModule module;
    return module;
}

// The library the scale objects share, loaded now if none has loaded it yet.
// Loading happens outside the lock; when two objects load at once, the
// first to finish is kept.
std::shared_ptr<const D2xxLibrary> SharedLibrary(UsbModule& module) {
    {
        std::lock_guard lock(module.mutex);
        if (module.state.library) {
            return module.state.library;
        }
    }
    Outcome<std::unique_ptr<D2xxLibrary>> loaded = D2xxLibrary::Load();
    if (!loaded.value) {
        TraceFailure("USB library load", loaded.failure);
    }
    std::lock_guard lock(module.mutex);
    if (!module.state.library) {
        module.state.library = std::move(loaded.value);
        module.loadFailure = std::move(loaded.failure);
    }
    return module.state.library;
}

}  // namespace

UsbModuleState CurrentUsbModule() {
    std::lock_guard lock(Module().mutex);
    return Module().state;
}

Failure LastUsbLoadFailure() {
    std::lock_guard lock(Module().mutex);
    return Module().loadFailure;
}

// Listing the converters, and the reload D2XX may be told to make, can take
// long: they run outside the lock, and the other objects keep the list they
// had until the new one is there.
void LoadUsbLibrary() {
    UsbModule& module = Module();
    {
        std::lock_guard lock(module.mutex);
        ++module.users;
    }
    std::shared_ptr<const D2xxLibrary> library = SharedLibrary(module);
    if (!library) {
        return;
    }
    std::optional<UsbDeviceList> list = ListUsbConverters(*library);
    std::lock_guard lock(module.mutex);
    if (module.state.library == library) {
        module.state.devices =
            list ? std::make_shared<const UsbDeviceList>(std::move(*list)) : nullptr;
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
