// Preloaded into the program by a test: the first read of a file whose name holds
// "crash-on-read" ends in SIGSEGV, as a fault in a decoder would, at a moment the test knows.

#include <csignal>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

namespace {

bool crashes(int fd) {
    char link[64];
    char target[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, target, sizeof target - 1);
    if (length <= 0)
        return false;
    target[length] = '\0';
    return std::strstr(target, "crash-on-read") != nullptr;
}

template <typename Read> Read next(const char* name) {
    return reinterpret_cast<Read>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" ssize_t pread(int fd, void* into, size_t bytes, off_t at) {
    if (crashes(fd))
        raise(SIGSEGV);
    static const auto read = next<ssize_t (*)(int, void*, size_t, off_t)>("pread");
    return read(fd, into, bytes, at);
}

extern "C" ssize_t pread64(int fd, void* into, size_t bytes, off64_t at) {
    if (crashes(fd))
        raise(SIGSEGV);
    static const auto read = next<ssize_t (*)(int, void*, size_t, off64_t)>("pread64");
    return read(fd, into, bytes, at);
}
