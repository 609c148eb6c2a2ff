#include "host/SystemCalls.h"

#include "minihost/Host.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

std::mutex handlerLock;
minihost::MessageBoxHandler messageBoxHandler;
std::atomic<int> disabledCount{0};
std::atomic<void*> disabledModule{nullptr};

} // namespace

extern "C" int MessageBoxA(HWND /*owner*/, LPCSTR text, LPCSTR caption, UINT type) {
    minihost::MessageBoxHandler handler;
    {
        std::lock_guard guard(handlerLock);
        handler = messageBoxHandler;
    }
    if (handler)
        return handler(text ? text : "", caption ? caption : "", type);
    std::fprintf(stderr, "[%s]\n%s\n", caption ? caption : "", text ? text : "");
    return 1;
}

extern "C" BOOL DisableThreadLibraryCalls(HMODULE module) {
    disabledModule = module;
    ++disabledCount;
    return 1;
}

namespace minihost {

void setMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard guard(handlerLock);
    messageBoxHandler = std::move(handler);
}

int disableThreadLibraryCallsCount() {
    return disabledCount;
}

void* lastDisabledModule() {
    return disabledModule;
}

} // namespace minihost
