#include "app/core/FatalSignal.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace umbrix {

namespace {

// Fixed buffers, as a signal handler may not allocate: one per file read at the same time.
constexpr int Slots = 8;
constexpr std::size_t PathRoom = 4096;
enum : int { Free, Filling, Held };

struct Slot {
    std::atomic<int> state{Free};
    char path[PathRoom];
};
std::array<Slot, Slots> Reading;

constexpr int Fatal[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
struct sigaction Before[sizeof Fatal / sizeof Fatal[0]];

void say(const char* text) {
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t written = write(STDERR_FILENO, text, left);
        if (written <= 0)
            return;
        text += written;
        left -= static_cast<std::size_t>(written);
    }
}

const char* signalName(int signal) {
    switch (signal) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    default:
        return "SIGABRT";
    }
}

void onFatalSignal(int signal, siginfo_t* info, void* context) {
    char number[12];
    std::size_t digits = sizeof number - 1;
    number[digits] = '\0';
    int left = signal;
    do {
        number[--digits] = static_cast<char>('0' + left % 10);
        left /= 10;
    } while (left > 0 && digits > 0);
    const auto tell = [&](const char* path) {
        say("umbrix: ");
        if (path) {
            say(path);
            say(": ");
        }
        say("fatal signal ");
        say(number + digits);
        say(" (");
        say(signalName(signal));
        say(path ? ") while reading\n" : ")\n");
    };
    bool named = false;
    for (Slot& slot : Reading)
        if (slot.state.load() == Held) {
            tell(slot.path);
            named = true;
        }
    if (!named)
        tell(nullptr);
    for (std::size_t i = 0; i < sizeof Fatal / sizeof Fatal[0]; ++i) {
        if (Fatal[i] != signal)
            continue;
        sigaction(signal, &Before[i], nullptr);
        // A sanitizer's handler reports the fault its own way and ends the process.
        if ((Before[i].sa_flags & SA_SIGINFO) && Before[i].sa_sigaction) {
            Before[i].sa_sigaction(signal, info, context);
            return;
        }
        if (!(Before[i].sa_flags & SA_SIGINFO) && Before[i].sa_handler != SIG_DFL &&
            Before[i].sa_handler != SIG_IGN) {
            Before[i].sa_handler(signal);
            return;
        }
    }
    std::signal(signal, SIG_DFL);
    raise(signal);
}

} // namespace

ReadingFile::ReadingFile(const std::string& path) : Slot(-1) {
    for (int i = 0; i < Slots; ++i) {
        int free = Free;
        if (!Reading[static_cast<std::size_t>(i)].state.compare_exchange_strong(free, Filling))
            continue;
        auto& slot = Reading[static_cast<std::size_t>(i)];
        const std::size_t length = std::min(path.size(), PathRoom - 1);
        std::memcpy(slot.path, path.data(), length);
        slot.path[length] = '\0';
        slot.state.store(Held);
        Slot = i;
        return;
    }
}

ReadingFile::~ReadingFile() {
    if (Slot >= 0)
        Reading[static_cast<std::size_t>(Slot)].state.store(Free);
}

void reportFatalSignals() {
    // Where the handler runs when the main thread's stack is what overflowed.
    static char handlerStack[1 << 16];
    stack_t stack{};
    stack.ss_sp = handlerStack;
    stack.ss_size = sizeof handlerStack;
    sigaltstack(&stack, nullptr);
    for (std::size_t i = 0; i < sizeof Fatal / sizeof Fatal[0]; ++i) {
        struct sigaction action {};
        action.sa_sigaction = onFatalSignal;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        sigaction(Fatal[i], &action, &Before[i]);
    }
}

} // namespace umbrix
