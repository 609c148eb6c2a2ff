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

void eraseStatus() {
    if (!Status.empty())
        std::fputs("\r\033[K", stderr);
}

void drawStatus() {
    if (!Status.empty())
        std::fputs(Status.c_str(), stderr);
    std::fflush(stderr);
}

} // namespace

bool isTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

void message(const std::string& text) {
    std::lock_guard guard(Lock);
    eraseStatus();
    std::fprintf(stderr, "umbrix: %s\n", text.c_str());
    drawStatus();
}

void warning(const std::string& text) {
    {
        std::lock_guard guard(Lock);
        if (!Warned.insert(text).second)
            return;
    }
    message("warning: " + text);
}

void status(const std::string& text) {
    std::lock_guard guard(Lock);
    eraseStatus();
    Status = text;
    drawStatus();
}

} // namespace umbrix::console
