#include "tests/support/EventLog.h"

#include "minihost/Host.h"

#include <algorithm>

namespace testsupport {

EventLog::EventLog() {
    minihost::setLifecycleObserver([this](const std::string& event) {
        std::lock_guard guard(Lock);
        Events.push_back(event);
    });
}

EventLog::~EventLog() {
    minihost::setLifecycleObserver(nullptr);
}

std::vector<std::string> EventLog::events() const {
    std::lock_guard guard(Lock);
    return Events;
}

std::vector<std::string> EventLog::only(std::initializer_list<std::string> wanted) const {
    std::vector<std::string> kept;
    for (const std::string& event : events())
        if (std::find(wanted.begin(), wanted.end(), event) != wanted.end())
            kept.push_back(event);
    return kept;
}

void EventLog::clear() {
    std::lock_guard guard(Lock);
    Events.clear();
}

} // namespace testsupport
