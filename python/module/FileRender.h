#pragma once

#include "app/Failure.h"
#include "app/core/ControlValues.h"
#include "app/core/RenderOptions.h"
#include "app/core/Tool.h"

#include <functional>
#include <string>
#include <vector>

namespace umbrix::python {

// What `render_file` did: the files written (none in a dry run), the frames left out.
struct FileReport {
    std::vector<std::string> written;
    std::vector<int> skipped;
};

// Thrown when the caller stops a run between frames, with what was done before. Not a
// std::exception, so that no stage's failure wrapper turns it into a message.
struct Stopped {
    FileReport report;
};

// `umbrix render` with these options and values, its warnings and lines to the console, through
// the stages the command runs. Before each frame after the first is rendered, `stopRequested` is
// asked: when it says so, the frames before are written whole, none after, and Stopped is thrown
// with them.
// UsageError or RunError as the program's (its path the file concerned); frames that cannot be read
// with skipBadFrames are reported, not raised.
FileReport renderFiles(const RenderOptions& options, const Tool& tool, const ControlValues& values,
                       const std::function<bool()>& stopRequested);

} // namespace umbrix::python
