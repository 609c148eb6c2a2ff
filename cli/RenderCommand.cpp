#include "cli/RenderCommand.h"

#include "app/Console.h"
#include "app/core/RenderPlan.h"
#include "app/core/RenderStages.h"
#include "app/core/RenderWarnings.h"
#include "app/core/RunReport.h"
#include "app/core/SettingsSaving.h"
#include "app/core/StageFailures.h"
#include "app/core/Tool.h"

#include <fmt/format.h>

namespace umbrix {

void runRender(const RenderOptions& options) {
    const RenderPlan plan = planRender(options);
    printWarnings(plan.output.warnings);
    const Tool tool(options.library.value_or(defaultLibraryPath()));
    ControlValues values = tool.defaults();
    values.apply({options.settingsFile, options.settings, {}, options.depth});
    printWarnings(controlWarnings(values));
    useThreads(options.threads);
    Progress progress(Progress::modeFor(options.quiet || options.dryRun), plan.jobs.size());
    RenderStages render(options, plan, tool, values, progress);
    const PipelineOutcome outcome = runNamingFailures(
        plan.jobs,
        savingSettings(options.dryRun ? render.checkingStages() : render.stages(), options, values),
        render.skipping(), options.input, options.dryRun ? "checked" : "written");
    if (options.dryRun && !options.quiet)
        console::message(
            fmt::format("dry run: {} of {} frames can be rendered; nothing was written",
                        outcome.written, plan.jobs.size()));
    if (!render.skipped().empty())
        throw RunError(fmt::format("skipped {} of {} frames, which could not be read: {}",
                                   render.skipped().size(), plan.jobs.size(),
                                   frameListOf(render.skipped())));
}

} // namespace umbrix
