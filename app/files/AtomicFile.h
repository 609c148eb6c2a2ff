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

} // namespace umbrix
