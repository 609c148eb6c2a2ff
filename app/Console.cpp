#include "app/Console.h"

#include <cstdio>
#include <mutex>
#include <set>
#include <unistd.h>

namespace umbrix::console {

namespace {

std::mutex Lock;
std::string Status;
std::set<std::string> Warned;
Sink Diverted;

// Messages are told, not relied on: with stderr closed (EPIPE, as SIGPIPE is ignored) they are
// lost, and the stream's error flag is cleared so that later lines are still tried.
void flush() {
    std::fflush(stderr);
    std::clearerr(stderr);
}

void eraseStatus() {
    if (!Status.empty())
        std::fputs("\r\033[K", stderr);
}

void drawStatus() {
    if (!Status.empty())
        std::fputs(Status.c_str(), stderr);
    flush();
}

} // namespace

bool isTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

void message(const std::string& text) {
    std::lock_guard guard(Lock);
    if (Diverted) {
        Diverted(text, false);
        return;
    }
    eraseStatus();
    std::fprintf(stderr, "umbrix: %s\n", text.c_str());
    drawStatus();
}

void warning(const std::string& text) {
    {
        std::lock_guard guard(Lock);
        if (Diverted) {
            Diverted(text, true);
            return;
        }
        if (!Warned.insert(text).second)
            return;
    }
    message("warning: " + text);
}

void startRun() {
    std::lock_guard guard(Lock);
    Warned.clear();
    Status.clear();
}

void status(const std::string& text) {
    std::lock_guard guard(Lock);
    if (Diverted)
        return;
    eraseStatus();
    Status = text;
    drawStatus();
}

void setSink(Sink sink) {
    std::lock_guard guard(Lock);
    Diverted = std::move(sink);
}

} // namespace umbrix::console
