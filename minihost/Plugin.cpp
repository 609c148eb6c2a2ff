#include "host/SystemCalls.h"
#include "minihost/Host.h"

#include <dlfcn.h>
#include <stdexcept>

namespace minihost {

namespace {

std::string dlMessage() {
    const char* message = dlerror();
    return message ? message : "unknown error";
}

LibraryEntryPoint entryPoint(void* handle) {
    return reinterpret_cast<LibraryEntryPoint>(dlsym(handle, LibraryEntryPointName));
}

} // namespace

Plugin::Plugin(const std::string& path) {
    Handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!Handle)
        throw std::runtime_error("cannot load tool library " + path + ": " + dlMessage());
    LibraryEntryPoint entry = entryPoint(Handle);
    if (!entry || !entry(Handle, DLL_PROCESS_ATTACH, nullptr)) {
        dlclose(Handle);
        throw std::runtime_error("tool library " + path + " has no working entry point");
    }
}

Plugin::~Plugin() {
    if (LibraryEntryPoint entry = entryPoint(Handle))
        entry(Handle, DLL_PROCESS_DETACH, nullptr);
    dlclose(Handle);
}

} // namespace minihost
