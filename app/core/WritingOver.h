#pragma once

#include <string>
#include <utility>
#include <vector>

namespace umbrix {

// Files a run reads or writes, each with what it is to the run: "the input", "frame 3 of the
// input".
using NamedFiles = std::vector<std::pair<std::string, std::string>>;

// UsageError when `path`, which `option` writes, is one of `files` (a link to one, or the same
// place by another name): the `written` file would replace it without a word. Every face that
// writes a file beside what it reads asks this before reading anything.
void refuseWritingOver(const char* option, const std::string& path, const char* written,
                       const NamedFiles& files);

} // namespace umbrix
