#pragma once

#include <functional>
#include <string>

namespace umbrix {

// Writes a file so that it appears whole or not at all: `write` fills a temporary file in the same
// folder and makes it durable, and the temporary then replaces `path` by a rename. A symbolic link
// is followed, so the link stays; a device or pipe is written in place, as it cannot be replaced. A
// replaced file's mode bits carry over to the new one.
// RunError, naming `path`, on failure; the temporary file is gone afterwards either way.
void writeAtomically(const std::string& path,
                     const std::function<void(const std::string& target)>& write);

// RunError when `path` cannot be written because its folder is missing or may not be written
// into, or a folder stands in its place, so that a long render does not end in a failure known
// from the start.
void checkFolderOf(const std::string& path);

// Makes an interrupt, quit, hang-up or termination remove the temporary file being written before
// the program ends.
void removeTemporaryOnSignal();

// For a caller inside another program (the Python module): while one lives, an ending signal that
// the process handles itself is handed on to its handler and noted, so that a run can stop at
// its next frame or block with every file whole; one that would end the process ends it as
// removeTemporaryOnSignal's do, without the temporary; an ignored one stays ignored. Watches may
// overlap, on any threads; the last to end puts the handlers back.
class SignalWatch {
  public:
    SignalWatch();
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // The last signal handed on since this watch began, or 0.
    int arrived() const;

  private:
    unsigned Start;
};

} // namespace umbrix
