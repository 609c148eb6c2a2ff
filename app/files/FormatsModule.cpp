#include "app/files/FormatsModule.h"

#include "app/Failure.h"
#include "app/ProgramFiles.h"

#include <cerrno>
#include <cstdio>
#include <dlfcn.h>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <fmt/format.h>
#include <mutex>
#include <new>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace umbrix {

namespace {

constexpr const char* ModuleName = "umbrix-formats.so";

using Entry = ImageFormats* (*)();

// dlopen is declared not to throw, yet a library's initialiser can throw through it (one that
// cannot start a thread): called through this, such an exception reaches the caller's handler
// instead of passing every handler by.
void* (*volatile openLibrary)(const char*, int) = dlopen;

bool aloneInTheProcess() {
    std::error_code error;
    const auto threads = std::filesystem::directory_iterator("/proc/self/task", error);
    return !error && std::distance(threads, std::filesystem::directory_iterator()) == 1;
}

// Under an address-space limit (ulimit -v) the libraries the module pulls in can die in their own
// initialisers when it is nearly reached, or throw from them and leave a library half made that
// dies when the program ends. So with such a limit, and while a fork is safe, the module is loaded
// first in a child: false when that child died or caught such a throw. One whose load failed
// cleanly leaves the message to the load here.
bool loadsInAChild(const std::string& path) {
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        !aloneInTheProcess())
        return true;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0)
        return true;
    if (child == 0) {
        const int none = open("/dev/null", O_WRONLY | O_CLOEXEC);
        dup2(none, STDOUT_FILENO);
        dup2(none, STDERR_FILENO);
        try {
            void* module = openLibrary(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            const auto entry =
                module ? reinterpret_cast<Entry>(dlsym(module, "umbrixImageFormats")) : nullptr;
            _exit(entry && entry() ? 0 : 1);
        } catch (...) {
            _exit(2);
        }
    }
    int status = 0;
    pid_t waited = -1;
    do
        waited = waitpid(child, &status, 0);
    while (waited < 0 && errno == EINTR);
    return waited < 0 || (WIFEXITED(status) && WEXITSTATUS(status) != 2);
}

ImageFormats* load() {
    const std::string path = modulePath(ModuleName);
    if (!loadsInAChild(path))
        throw FormatsUnavailable(fmt::format("cannot load the image formats module {} within the "
                                             "address-space limit (ulimit -v): out of memory",
                                             path),
                                 {}, std::nullopt, RunError::Cause::Memory);
    // Never closed: OpenImageIO keeps threads and state until the program ends. Its libraries'
    // initialisers may throw (no thread to be had).
    void* module = nullptr;
    try {
        module = openLibrary(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    } catch (const std::bad_alloc&) {
        throw FormatsUnavailable("cannot load the image formats module: out of memory", {},
                                 std::nullopt, RunError::Cause::Memory);
    } catch (const std::exception& e) {
        throw FormatsUnavailable(
            fmt::format("cannot load the image formats module: {}", oneLine(e.what())));
    }
    if (!module)
        throw FormatsUnavailable(
            fmt::format("cannot load the image formats module: {}", dlerror()));
    auto entry = reinterpret_cast<Entry>(dlsym(module, "umbrixImageFormats"));
    if (!entry)
        throw FormatsUnavailable(fmt::format("{}: not an image formats module", path));
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
