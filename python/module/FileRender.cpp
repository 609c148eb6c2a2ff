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

bool startsWithPath(std::string_view message, const std::string& path) {
    return message.size() > path.size() && message.substr(0, path.size()) == path &&
           message[path.size()] == ':';
}

// The file a failure names: a sequence's message starts "frame N: ", then the path.
std::string fileNamed(std::string_view message, const RenderOptions& options) {
    std::optional<int> frame;
    if (message.starts_with("frame ")) {
        int number = 0;
        const auto [end, error] =
            std::from_chars(message.data() + 6, message.data() + message.size(), number);
        if (error == std::errc() && std::string_view(end, 2) == ": ") {
            frame = number;
            message.remove_prefix(static_cast<std::size_t>(end + 2 - message.data()));
        }
    }
    for (const std::optional<std::string>& path :
         {std::optional(options.input), std::optional(options.output), options.preview}) {
        if (!path)
            continue;
        const std::string file = frame ? framePath(*path, *frame) : *path;
        if (startsWithPath(message, file))
            return file;
    }
    return {};
}

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
    try {
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
    } catch (const FileError&) {
        throw;
    } catch (const RunError& e) {
        throw FileError(e.what(), fileNamed(e.what(), options));
    }
}

} // namespace umbrix::python
