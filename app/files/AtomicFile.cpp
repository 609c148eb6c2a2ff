#include "app/files/AtomicFile.h"

#include "app/Failure.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fmt/format.h>
#include <mutex>
#include <optional>
#include <random>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace umbrix {

namespace fs = std::filesystem;

namespace {

// The temporary file being written, for the signal handler; a fixed buffer, as a handler may not
// allocate.
char PendingPath[4096];
std::atomic<bool> Pending{false};

constexpr std::array<int, 4> EndingSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// While a SignalWatch lives: the handlers the process had for the ending signals, those it hands
// a signal on to, and what arrived.
std::array<struct sigaction, NSIG> Previous{};
std::array<std::atomic<bool>, NSIG> HandedOn{};
std::atomic<unsigned> Arrivals{0};
std::atomic<int> LastArrived{0};

void onSignal(int signal, siginfo_t* info, void* context) {
    const std::size_t index = static_cast<std::size_t>(signal);
    if (HandedOn[index].load()) {
        LastArrived.store(signal);
        Arrivals.fetch_add(1);
        const struct sigaction& previous = Previous[index];
        if (previous.sa_flags & SA_SIGINFO)
            previous.sa_sigaction(signal, info, context);
        else
            previous.sa_handler(signal);
        return;
    }
    if (Pending.load())
        unlink(PendingPath);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void install(int signal, int flags) {
    struct sigaction action {};
    action.sa_sigaction = onSignal;
    action.sa_flags = SA_SIGINFO | flags;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

bool isOurs(const struct sigaction& action) {
    return (action.sa_flags & SA_SIGINFO) && action.sa_sigaction == onSignal;
}

std::mutex WatchLock;
int Watches = 0;

// Set before the file is made, so that a signal at any moment after leaves none behind.
class PendingTemporary {
  public:
    PendingTemporary() = default;
    ~PendingTemporary() { clear(); }
    void set(const std::string& path) {
        Pending.store(false);
        if (path.size() < sizeof(PendingPath)) {
            std::memcpy(PendingPath, path.c_str(), path.size() + 1);
            Pending.store(true);
        }
    }
    void clear() { Pending.store(false); }
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

// What is at the path now: whether a new file may take its place (a device or a pipe cannot be
// replaced and is written in place), and the mode bits of the file there, if any.
struct Existing {
    bool replaceable = true;
    std::optional<mode_t> mode;
};

Existing existing(const std::string& path, const std::string& shownPath) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return {};
    if (S_ISDIR(info.st_mode))
        throw RunError(fmt::format("{}: cannot write: it is a folder", shownPath), shownPath);
    if (!S_ISREG(info.st_mode))
        return {false, std::nullopt};
    return {true, info.st_mode & 07777};
}

std::string randomLetters(std::size_t count) {
    static constexpr std::string_view Letters = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device source;
    std::uniform_int_distribution<std::size_t> pick(0, Letters.size() - 1);
    std::string letters(count, ' ');
    for (char& letter : letters)
        letter = Letters[pick(source)];
    return letters;
}

// Hidden, keeping the extension so that format writers recognise it, and random, so that no other
// run, nor a stale file of a run that was killed, holds the same name. Within the limit of a name
// in a folder: a long output name gives up bytes of the temporary's stem, not of its own.
std::string temporaryName(const fs::path& target) {
    const std::string stem = target.stem().string();
    const std::string tail =
        fmt::format(".umbrix-{}{}", randomLetters(12), target.extension().string());
    const std::size_t room = tail.size() < NAME_MAX ? NAME_MAX - 1 - tail.size() : 0;
    return fmt::format(".{}{}", std::string_view(stem).substr(0, room), tail);
}

// A new, empty file beside `path`; another name is tried when one is taken.
std::string createTemporary(const std::string& path, const std::string& shownPath,
                            PendingTemporary& pending) {
    constexpr int Tries = 100;
    const fs::path target(path);
    for (int attempt = 0;; ++attempt) {
        const std::string temporary = (target.parent_path() / temporaryName(target)).string();
        pending.set(temporary);
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            return temporary;
        }
        pending.clear();
        if (errno != EEXIST || attempt + 1 == Tries)
            throw RunError(fmt::format("{}: cannot write: {}", shownPath, std::strerror(errno)),
                           shownPath);
    }
}

} // namespace

void writeAtomically(const std::string& path,
                     const std::function<void(const std::string& target)>& write) {
    const std::string target = resolved(path);
    const Existing before = existing(target, path);
    if (!before.replaceable) {
        write(target);
        return;
    }
    PendingTemporary pending;
    const std::string temporary = createTemporary(target, path, pending);
    try {
        write(temporary);
        // After writing, as the writer opens the file again by its name.
        if (before.mode && chmod(temporary.c_str(), *before.mode) != 0)
            throw RunError(fmt::format("{}: cannot write: {}", path, std::strerror(errno)), path);
        if (std::rename(temporary.c_str(), target.c_str()) != 0)
            throw RunError(fmt::format("{}: cannot write: {}", path, std::strerror(errno)), path);
    } catch (...) {
        unlink(temporary.c_str());
        throw;
    }
}

void checkFolderOf(const std::string& path) {
    const std::string target = resolved(path);
    const fs::path parent = fs::path(target).parent_path();
    const std::string folder = parent.empty() ? "." : parent.string();
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0)
        throw RunError(fmt::format("{}: cannot write: {}", path, std::strerror(errno)), path);
    if (!S_ISDIR(info.st_mode))
        throw RunError(fmt::format("{}: cannot write: {} is not a folder", path, folder), path);
    // The new file is made in the folder, unless a device or pipe there is written in place.
    if (existing(target, path).replaceable && access(folder.c_str(), W_OK) != 0)
        throw RunError(fmt::format("{}: cannot write: {}", path, std::strerror(errno)), path);
}

void removeTemporaryOnSignal() {
    for (int signal : EndingSignals)
        install(signal, 0);
}

SignalWatch::SignalWatch() : Start(Arrivals.load()) {
    const std::lock_guard guard(WatchLock);
    if (Watches++ > 0)
        return;
    for (int signal : EndingSignals) {
        struct sigaction& previous = Previous[static_cast<std::size_t>(signal)];
        sigaction(signal, nullptr, &previous);
        if (previous.sa_handler == SIG_IGN || isOurs(previous))
            continue;
        HandedOn[static_cast<std::size_t>(signal)].store(previous.sa_handler != SIG_DFL);
        install(signal, previous.sa_flags & (SA_ONSTACK | SA_RESTART));
    }
}

SignalWatch::~SignalWatch() {
    const std::lock_guard guard(WatchLock);
    if (--Watches > 0)
        return;
    for (int signal : EndingSignals) {
        const auto index = static_cast<std::size_t>(signal);
        struct sigaction now {};
        sigaction(signal, nullptr, &now);
        // A handler set meanwhile stays; so does the program's own.
        if (!isOurs(now) || isOurs(Previous[index]))
            continue;
        sigaction(signal, &Previous[index], nullptr);
        HandedOn[index].store(false);
    }
}

int SignalWatch::arrived() const {
    return Arrivals.load() != Start ? LastArrived.load() : 0;
}

} // namespace umbrix
