#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace umbrix {

// Exit statuses scripts can rely on.
enum ExitStatus : int { ExitOk = 0, ExitFailure = 1, ExitUsage = 2 };

// The program was called wrongly (unknown flag or control, a bad value or channel): exit 2.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A file could not be read or written, or the tool could not be loaded or run: exit 1.
class RunError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// An input that is not there to read (or cannot be looked at): the caller may know a likelier
// name for it.
class MissingInput : public RunError {
  public:
    using RunError::RunError;
};

// A library's message as one line of ours: line breaks become spaces, trailing space goes, other
// control characters become '?'.
std::string oneLine(std::string text);

// Called while an exception is handled: rethrows it as one of ours, a UsageError or RunError as it
// is, any other as a RunError naming `path`, after `doing` ("cannot read") when given, and saying
// "out of memory" for a failed allocation.
[[noreturn]] void rethrowNaming(const std::string& path, std::string_view doing = {});

} // namespace umbrix
