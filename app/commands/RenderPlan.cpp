#include "app/commands/RenderPlan.h"

#include "app/commands/StageFailures.h"
#include "app/core/FrameSource.h"

#include <filesystem>
#include <system_error>

namespace umbrix {

namespace {

bool samePath(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::equivalent(a, b, error))
        return true;
    const fs::path first = fs::weakly_canonical(a, error);
    const bool known = !error;
    const fs::path second = fs::weakly_canonical(b, error);
    return known && !error ? first == second : a == b;
}

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
