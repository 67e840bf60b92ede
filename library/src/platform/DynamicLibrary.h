// A shared library loaded at run time, found through the system's ordinary
// library search, as the installed driver library of a device would be. The
// POSIX version lives in posix/; nothing else includes dlfcn.h.
#pragma once

#include <memory>
#include <string>

#include "platform/Failure.h"

namespace qel {

class DynamicLibrary {
public:
    // None when the library is not installed or cannot be loaded: kNoLibrary
    // with the loader's reason, in English whatever the process locale.
    static Outcome<std::unique_ptr<DynamicLibrary>> Load(const std::string& fileName);
    // Unloads the library: every address taken from Symbol dies with it.
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // The address of an exported function or variable; null when missing.
    void* Symbol(const char* name) const;

private:
    explicit DynamicLibrary(void* handle) : handle_(handle) {}
    void* handle_;
};

// The platform's file name for a shared library called `baseName`: "ftd2xx"
// gives "libftd2xx.so" here and "ftd2xx.dll" on Windows.
std::string SharedLibraryFileName(const std::string& baseName);

}  // namespace qel
