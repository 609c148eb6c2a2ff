#include "app/files/FormatsModule.h"

#include "app/Failure.h"
#include "app/ProgramFiles.h"

#include <dlfcn.h>
#include <fmt/format.h>
#include <mutex>

namespace umbrix {

namespace {

constexpr const char* ModuleName = "umbrix-formats.so";

ImageFormats* load() {
    const std::string path = modulePath(ModuleName);
    // Never closed: OpenImageIO keeps threads and state until the program ends.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        throw RunError(fmt::format("cannot load the image formats module: {}", dlerror()));
    using Entry = ImageFormats* (*)();
    auto entry = reinterpret_cast<Entry>(dlsym(module, "umbrixImageFormats"));
    if (!entry)
        throw RunError(fmt::format("{}: not an image formats module", path));
    return entry();
}

} // namespace

ImageFormats& imageFormats() {
    static std::mutex lock;
    static ImageFormats* formats = nullptr;
    const std::lock_guard guard(lock);
    if (!formats)
        formats = load();
    return *formats;
}

} // namespace umbrix
