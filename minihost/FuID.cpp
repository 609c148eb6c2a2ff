#include "host/FuID.h"

#include "minihost/Internal.h"

#include <mutex>
#include <string>
#include <unordered_set>

namespace {

// Interned texts live until the process ends, so identifiers stay valid across library unloads.
const char* intern(const char* text) {
    static std::mutex lock;
    static auto* table = new std::unordered_set<std::string>;
    std::lock_guard guard(lock);
    return table->emplace(text ? text : "").first->c_str();
}

} // namespace

FuID::FuID(const char* text, bool /*intern*/) : Text(intern(text)) {
    minihost::detail::notifyLifecycle(std::string("FuID ") + Text);
}
