#pragma once

#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

// Records the stand-in host's life-cycle events while it exists.
class EventLog {
  public:
    EventLog();
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    std::vector<std::string> events() const;
    // Only the events named, in the order they happened.
    std::vector<std::string> only(std::initializer_list<std::string> wanted) const;
    void clear();

  private:
    mutable std::mutex Lock;
    std::vector<std::string> Events;
};

} // namespace testsupport
