#pragma once

#include <memory>
#include <optional>
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

// A file could not be read or written, or the tool could not be loaded or run: exit 1. A failure
// that concerns one file carries its path, one in a frame of a sequence the frame, and one where
// memory ran out says so, so that a face hands them on without reading the message.
class RunError : public std::runtime_error {
  public:
    enum class Cause { Other, Memory };

    explicit RunError(const std::string& message, std::string path = {},
                      std::optional<int> frame = std::nullopt, Cause cause = Cause::Other)
        : std::runtime_error(message),
          Path(path.empty() ? nullptr : std::make_shared<const std::string>(std::move(path))),
          Frame(frame), Why(cause) {}

    // The file concerned; empty when the failure is no one file's.
    const std::string& path() const { return Path ? *Path : NoPath; }
    std::optional<int> frame() const { return Frame; }
    Cause cause() const { return Why; }
    bool memoryRanOut() const { return Why == Cause::Memory; }

  private:
    // Shared, so that copying the exception cannot throw.
    std::shared_ptr<const std::string> Path;
    std::optional<int> Frame;
    Cause Why;
    static inline const std::string NoPath;
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
// "out of memory" (and Cause::Memory) for a failed allocation.
[[noreturn]] void rethrowNaming(const std::string& path, std::string_view doing = {});

} // namespace umbrix
