#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace umbrix::python {

// The warnings the program's code raises during one call of the module, each once, in the order
// raised, and a run of files' other lines (a frame skipped); Python gets them as UmbrixWarning
// when the call returns. While one lives, the lines go
// to it instead of stderr: those raised on its own thread, and, while it is the run of files
// (`render_file`, one at a time), those of the threads that run reads and writes for it.
class CallMessages {
  public:
    enum class Scope { ThisThread, FileRun };
    explicit CallMessages(Scope scope);
    ~CallMessages();
    CallMessages(const CallMessages&) = delete;
    CallMessages& operator=(const CallMessages&) = delete;

    void add(const std::string& text, bool warning = true);
    std::vector<std::string> warnings() const;

  private:
    Scope Kind;
    CallMessages* Outer = nullptr;
    mutable std::mutex Lock;
    std::set<std::string> Seen;
    std::vector<std::string> Raised;
};

// Sends the program's messages to the calls' CallMessages from now on: called when the module is
// loaded, as the module prints nothing to stderr.
void divertConsole();

} // namespace umbrix::python
