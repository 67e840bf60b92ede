#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

namespace qel {

std::unique_ptr<DynamicLibrary> DynamicLibrary::Load(const std::string& fileName,
                                                     std::string* error) {
    // RTLD_NOW: a library that cannot resolve its own dependencies is refused
    // here rather than failing in the middle of a call later. RTLD_LOCAL keeps
    // its symbols out of the way of everything else in the process.
    void* handle = ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = ::dlerror();
        *error = reason != nullptr ? reason : fileName + ": cannot be loaded";
        return nullptr;
    }
    return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

DynamicLibrary::~DynamicLibrary() {
    ::dlclose(handle_);
}

void* DynamicLibrary::Symbol(const char* name) const {
    return ::dlsym(handle_, name);
}

std::string SharedLibraryFileName(const std::string& baseName) {
    return "lib" + baseName + ".so";
}

}  // namespace qel
