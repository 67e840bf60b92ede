#include "platform/DynamicLibrary.h"

#include <dlfcn.h>
#include <locale.h>

namespace qel {
namespace {

// The loader translates its messages into the language of the thread's
// locale. Our reasons are English everywhere, so the load and its message
// run under the "C" locale, on this thread only.
class ClassicMessages {
public:
    ClassicMessages() : classic_(::newlocale(LC_ALL_MASK, "C", nullptr)) {
        if (classic_ != nullptr) {
            previous_ = ::uselocale(classic_);
        }
    }
    ~ClassicMessages() {
        if (classic_ != nullptr) {
            ::uselocale(previous_);
            ::freelocale(classic_);
        }
    }
    ClassicMessages(const ClassicMessages&) = delete;
    ClassicMessages& operator=(const ClassicMessages&) = delete;

private:
    locale_t classic_;
    locale_t previous_ = nullptr;
};

}  // namespace

Outcome<std::unique_ptr<DynamicLibrary>> DynamicLibrary::Load(const std::string& fileName) {
    Outcome<std::unique_ptr<DynamicLibrary>> loaded;
    ClassicMessages english;
    // RTLD_NOW: a library that cannot resolve its own dependencies is refused
    // here rather than failing in the middle of a call later. RTLD_LOCAL keeps
    // its symbols out of the way of everything else in the process.
    void* handle = ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = ::dlerror();
        // The loader's text begins with the file name when it has one.
        std::string detail = reason != nullptr ? reason : fileName + ": cannot be loaded";
        if (detail.rfind(fileName, 0) != 0) {
            detail = fileName + ": " + detail;
        }
        loaded.failure = Failure(FailureCode::kNoLibrary, std::move(detail));
        return loaded;
    }
    loaded.value.reset(new DynamicLibrary(handle));
    return loaded;
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
