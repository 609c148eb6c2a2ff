#pragma once

#include "app/Failure.h"
#include "app/commands/RenderCommand.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace umbrix::python {

// What `render_file` did: the files written (none in a dry run), the frames left out.
struct FileReport {
    std::vector<std::string> written;
    std::vector<int> skipped;
};

// A RunError about one file: the path is given to Python as the OSError's filename.
class FileError : public RunError {
  public:
    FileError(const std::string& message, std::string file)
        : RunError(message), path(std::move(file)) {}
    std::string path; // empty when the failure is no one file's
};

// `umbrix render` with these options, one frame after another; `betweenFrames` is called before
// each frame after the first, and a frame started is finished: a throw from it stops the run
// there, with every file written whole. UsageError or RunError as the program's; a frame that
// cannot be read with skipBadFrames is reported and left out instead. A RunError is a FileError.
FileReport renderFiles(const RenderOptions& options, const std::function<void()>& betweenFrames);

} // namespace umbrix::python
