#pragma once

#include "app/Failure.h"
#include "app/core/FramePipeline.h"
#include "app/core/RenderJobs.h"
#include "app/files/FormatsModule.h"

#include <exception>
#include <fmt/format.h>
#include <string>

namespace umbrix {

// How a render's failures become its messages and exit status: each file named, each frame of a
// sequence counted.

// A frame's input could not be read: what --skip-bad-frames passes over.
class UnreadableFrame : public RunError {
  public:
    using RunError::RunError;
};
bool isUnreadableFrame(const std::exception_ptr& failure);

// The image formats module is loaded by whichever file first needs it: a failure to load it names
// that file.
template <class Use>
auto needingFormats(const std::string& path, const Use& use) -> decltype(use()) {
    try {
        return use();
    } catch (const FormatsUnavailable& e) {
        throw RunError(fmt::format("{}: {}", path, e.what()), path, std::nullopt, e.cause());
    }
}

// Runs the stages, each failure that no reader or writer put into words (memory or threads
// running out) still naming its file; a failed frame of a sequence becomes the run's failure,
// naming the frame and how many were done (`done`: "written", "checked"). UsageError or RunError.
PipelineOutcome runNamingFailures(const Jobs& jobs, const FrameStages& stages,
                                  const FrameSkipping& skipping, const std::string& input,
                                  const char* done);

} // namespace umbrix
