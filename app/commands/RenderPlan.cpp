#include "app/commands/RenderPlan.h"

#include "app/commands/SettingsSaving.h"
#include "app/commands/StageFailures.h"
#include "app/core/FrameSource.h"
#include "app/files/SamePath.h"

namespace umbrix {

namespace {

// A preview over the render or the input would replace it without a word.
void refusePreviewOverFiles(const RenderOptions& options) {
    if (!options.preview)
        return;
    for (const auto& [path, what] :
         {std::pair{options.output, "the output"}, std::pair{options.input, "the input"}})
        if (samePath(*options.preview, path))
            throw UsageError(fmt::format("--preview {}: the same file as {}, which the preview "
                                         "would replace",
                                         *options.preview, what));
}

} // namespace

RenderPlan planRender(const RenderOptions& options) {
    Jobs jobs(options.input, options.output, options.preview, options.frames);
    refusePreviewOverFiles(options);
    refuseSettingsOverFiles(options);
    const OutputFormat format =
        needingFormats(options.output, [&] { return formatOf(options.output); });
    if (options.preview)
        needingFormats(*options.preview, [&] { return formatOf(*options.preview); });
    FrameNaming naming = frameNaming({options.part, options.maps, options.layer});
    OutputShape output =
        outputShape({options.channels, options.types, options.compression, options.clamp});
    return {std::move(jobs), std::move(naming), format, std::move(output)};
}

} // namespace umbrix
