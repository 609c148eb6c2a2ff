#include "app/core/RenderPlan.h"

#include "app/core/FrameSource.h"
#include "app/core/StageFailures.h"
#include "app/core/WritingOver.h"

#include <fmt/format.h>

namespace umbrix {

namespace {

// Every file of every frame: a sequence's frames are read and written one by one, after the
// settings are saved and while the previews are written.
void refuseWritingOverFiles(const RenderOptions& options, const Jobs& jobs) {
    if (!options.preview && !options.saveSettings)
        return;
    const NamedFiles inputs = jobs.inputs().named();
    NamedFiles outputs = {{options.output, "the output"}};
    NamedFiles previews;
    if (options.preview)
        previews.emplace_back(*options.preview, "the preview");
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        const Job job = jobs[k];
        if (!job.frame)
            break;
        outputs.emplace_back(job.output, fmt::format("frame {} of the output", *job.frame));
        if (job.preview)
            previews.emplace_back(*job.preview, fmt::format("frame {} of the preview", *job.frame));
    }
    if (options.preview) {
        NamedFiles files = outputs;
        files.insert(files.end(), inputs.begin(), inputs.end());
        refuseWritingOver("--preview", *options.preview, "preview", files);
    }
    if (!options.saveSettings)
        return;
    NamedFiles files = inputs;
    files.insert(files.end(), outputs.begin(), outputs.end());
    files.insert(files.end(), previews.begin(), previews.end());
    refuseWritingOver("--save-settings", *options.saveSettings, "settings", files);
}

} // namespace

RenderPlan planRender(const RenderOptions& options) {
    Jobs jobs(options.input, options.output, options.preview, options.frames);
    refuseWritingOverFiles(options, jobs);
    const OutputFormat format =
        needingFormats(options.output, [&] { return formatOf(options.output); });
    if (options.preview)
        needingFormats(*options.preview, [&] { return formatOf(*options.preview); });
    FrameNaming naming = frameNaming({options.part, options.maps, options.layer});
    naming.views = options.views;
    OutputShape output =
        outputShape({options.channels, options.types, options.compression, options.clamp});
    if (options.depth)
        parseDepthConvention(*options.depth);
    return {std::move(jobs), std::move(naming), format, std::move(output)};
}

} // namespace umbrix
