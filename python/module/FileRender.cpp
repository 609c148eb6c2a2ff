#include "python/module/FileRender.h"

#include "app/core/FrameSequence.h"
#include "app/core/Progress.h"
#include "app/core/RenderPlan.h"
#include "app/core/RenderStages.h"
#include "app/core/RenderWarnings.h"
#include "app/core/RunReport.h"
#include "app/core/StageFailures.h"

#include <charconv>
#include <set>

namespace umbrix::python {

namespace {

FileReport reportOf(const RenderPlan& plan, const PipelineOutcome& outcome,
                    const RenderStages& render, bool dryRun) {
    FileReport report{{}, render.skipped()};
    if (dryRun)
        return report;
    const std::set<int> skipped(report.skipped.begin(), report.skipped.end());
    for (std::size_t index = 0; index < outcome.written + outcome.skipped; ++index) {
        const Job job = plan.jobs[index];
        if (!job.frame || !skipped.contains(*job.frame))
            report.written.push_back(job.output);
    }
    return report;
}

} // namespace

FileReport renderFiles(const RenderOptions& options, const Tool& tool, const ControlValues& values,
                       const std::function<bool()>& stopRequested) {
    const RenderPlan plan = planRender(options);
    printWarnings(plan.output.warnings);
    printWarnings(controlWarnings(values));
    Progress progress(Progress::Mode::Quiet, plan.jobs.size());
    RenderStages render(options, plan, tool, values, progress);
    FrameStages stages = options.dryRun ? render.checkingStages() : render.stages();
    // The render stage runs on the calling thread, between the reading and writing threads.
    stages.render = [renderFrame = stages.render, &stopRequested, &plan, &render,
                     &options](std::size_t index, Rendered& frame) {
        if (index > 0 && stopRequested())
            throw Stopped{reportOf(plan, {index, 0, {}, 0}, render, options.dryRun)};
        renderFrame(index, frame);
    };
    const PipelineOutcome outcome =
        runNamingFailures(plan.jobs, stages, render.skipping(), options.input,
                          options.dryRun ? "checked" : "written");
    return reportOf(plan, outcome, render, options.dryRun);
}

} // namespace umbrix::python
