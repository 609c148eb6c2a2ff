#include "app/AtomicFile.h"

#include "app/Failure.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

namespace umbrix {

namespace fs = std::filesystem;

namespace {

// The temporary file being written, for the signal handler; a fixed buffer, as a handler may not
// allocate.
char PendingPath[4096];
std::atomic<bool> Pending{false};

void onSignal(int signal) {
    if (Pending.load())
        unlink(PendingPath);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

class PendingTemporary {
  public:
    explicit PendingTemporary(const std::string& path) {
        if (path.size() < sizeof(PendingPath)) {
            std::memcpy(PendingPath, path.c_str(), path.size() + 1);
            Pending.store(true);
        }
    }
    ~PendingTemporary() { Pending.store(false); }
    PendingTemporary(const PendingTemporary&) = delete;
    PendingTemporary& operator=(const PendingTemporary&) = delete;
};

std::string resolved(const std::string& path) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(path, error)))
        return path;
    const fs::path target = fs::canonical(path, error);
    return error ? path : target.string();
}

bool replaceable(const std::string& path, const std::string& shownPath) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return true;
    if (S_ISDIR(info.st_mode))
        throw RunError(fmt::format("{}: cannot write: it is a folder", shownPath));
    return S_ISREG(info.st_mode);
}

// A new, empty file beside `path`, hidden, keeping the extension so format readers recognise it.
std::string createTemporary(const std::string& path, const std::string& shownPath) {
    static std::atomic<int> counter{0};
    const fs::path target(path);
    const fs::path name = fmt::format(".{}.umbrix-{}-{}{}", target.stem().string(), getpid(),
                                      counter++, target.extension().string());
    const std::string temporary = (target.parent_path() / name).string();
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        throw RunError(fmt::format("{}: cannot write: {}", shownPath, std::strerror(errno)));
    close(fd);
    return temporary;
}

} // namespace

void writeAtomically(const std::string& path,
                     const std::function<void(const std::string& target)>& write) {
    const std::string target = resolved(path);
    if (!replaceable(target, path)) {
        write(target);
        return;
    }
    const std::string temporary = createTemporary(target, path);
    PendingTemporary pending(temporary);
    try {
        write(temporary);
        if (std::rename(temporary.c_str(), target.c_str()) != 0)
            throw RunError(fmt::format("{}: cannot write: {}", path, std::strerror(errno)));
    } catch (...) {
        unlink(temporary.c_str());
        throw;
    }
}

void checkFolderOf(const std::string& path) {
    const fs::path parent = fs::path(resolved(path)).parent_path();
    const std::string folder = parent.empty() ? "." : parent.string();
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0)
        throw RunError(fmt::format("{}: cannot write: {}", path, std::strerror(errno)));
    if (!S_ISDIR(info.st_mode))
        throw RunError(fmt::format("{}: cannot write: {} is not a folder", path, folder));
}

void removeTemporaryOnSignal() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, onSignal);
}

} // namespace umbrix
