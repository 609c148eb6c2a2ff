#pragma once

#include "look/LookSession.h"

#include <optional>
#include <string>
#include <vector>

namespace umbrix {

// `umbrix look`: what it reads, as `render` takes it, and where it serves.
struct LookOptions {
    std::string input;
    std::vector<std::string> settings; // --set ID=VALUE
    std::vector<std::string> maps;     // --map NAME=NUMBER
    std::optional<std::string> frames;
    int threads = 0;
    std::optional<std::string> library;
    std::optional<std::string> part;
    std::optional<std::string> depth;        // --depth: how the depth channel measures depth
    std::optional<std::string> settingsFile; // --settings: values to start from
    std::optional<std::string> saveSettings; // --save-settings: where the page's Save writes
    int port = 0;                            // 0: a free one
    bool open = false;                       // start the desktop's browser on the page
};

// The frames the look shows, checked before any is read: a --save-settings onto the input, one of
// its frames or a link to one is refused as `render` refuses it (UsageError), and one whose folder
// cannot take it fails at once (RunError), not when Save is pressed.
look::FrameSource lookFrames(const LookOptions& options);

// A word as a POSIX shell reads it back: as it is when it is plain, else in single quotes.
std::string shellWord(const std::string& word);

// Serves the control page and viewer on loopback until SIGINT or SIGTERM. Throws UsageError or
// RunError, as `render` would, before anything is served.
void runLook(const LookOptions& options);

} // namespace umbrix
