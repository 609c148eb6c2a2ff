#pragma once

#include "app/core/FramePipeline.h"
#include "app/core/Progress.h"
#include "app/core/RenderOptions.h"
#include "app/core/RenderPlan.h"
#include "app/core/Tool.h"

#include <vector>

namespace umbrix {

// What `umbrix render` does with each frame, as the pipeline's stages: open, check and load the
// input; render it; write the output and preview.
class RenderStages {
  public:
    RenderStages(const RenderOptions& options, const RenderPlan& plan, const Tool& tool,
                 const ControlValues& values, Progress& progress)
        : Options(options), Plan(plan), TheTool(tool), Values(values), Shown(progress) {}

    FrameStages stages();
    // --dry-run: every frame read and checked as a run would, none rendered or written.
    FrameStages checkingStages();
    // --skip-bad-frames: a frame that cannot be read is reported in its turn and left out.
    FrameSkipping skipping();

    const std::vector<int>& skipped() const { return Skipped; }

  private:
    const RenderOptions& Options;
    const RenderPlan& Plan;
    const Tool& TheTool;
    const ControlValues& Values;
    Progress& Shown;
    bool Described = false;   // -v's block is printed, for the first frame read
    std::vector<int> Skipped; // frames left out, in the order of the run

    Rendered read(std::size_t index);
    std::shared_ptr<Frame> readInput(const std::string& input);
    void skip(std::size_t index, const std::exception_ptr& failure);
    void render(std::size_t index, Rendered& frame);
    void write(std::size_t index, Rendered& frame);
};

} // namespace umbrix
