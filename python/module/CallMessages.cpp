#include "python/module/CallMessages.h"

#include "app/Console.h"

namespace umbrix::python {

namespace {

thread_local CallMessages* ThreadCall = nullptr;
// Written only while render_file's turn is held, read by the console's sink under its lock.
std::mutex FileRunLock;
CallMessages* FileRun = nullptr;

void divert(const std::string& text, bool warning) {
    if (CallMessages* call = ThreadCall) {
        call->add(text, warning);
        return;
    }
    std::lock_guard guard(FileRunLock);
    if (FileRun)
        FileRun->add(text, warning);
}

} // namespace

void divertConsole() {
    console::setSink(divert);
}

CallMessages::CallMessages(Scope scope) : Kind(scope) {
    Outer = ThreadCall;
    ThreadCall = this;
    if (Kind == Scope::FileRun) {
        std::lock_guard guard(FileRunLock);
        FileRun = this;
    }
}

CallMessages::~CallMessages() {
    ThreadCall = Outer;
    if (Kind == Scope::FileRun) {
        std::lock_guard guard(FileRunLock);
        FileRun = nullptr;
    }
}

void CallMessages::add(const std::string& text, bool warning) {
    // A run of files says what it left out in a line of its own, not a warning.
    if (!warning && Kind != Scope::FileRun)
        return;
    std::lock_guard guard(Lock);
    if (Seen.insert(text).second)
        Raised.push_back(text);
}

std::vector<std::string> CallMessages::warnings() const {
    std::lock_guard guard(Lock);
    return Raised;
}

} // namespace umbrix::python
