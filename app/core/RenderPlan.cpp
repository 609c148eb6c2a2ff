#include "app/core/RenderPlan.h"

#include "app/core/FrameSource.h"
#include "app/core/StageFailures.h"
#include "app/files/SamePath.h"

namespace umbrix {

namespace {

using NamedFiles = std::vector<std::pair<std::string, const char*>>;

// A file an option writes that is one the run reads or writes would replace it without a word.
void refuseOver(const char* option, const std::string& path, const char* written,
                const NamedFiles& files) {
    for (const auto& [file, what] : files)
        if (samePath(path, file))
            throw UsageError(fmt::format("{} {}: the same file as {}, which the {} would replace",
                                         option, path, what, written));
}

void refuseWritingOverFiles(const RenderOptions& options) {
    if (options.preview)
        refuseOver("--preview", *options.preview, "preview",
                   {{options.output, "the output"}, {options.input, "the input"}});
    if (!options.saveSettings)
        return;
    NamedFiles files = {{options.input, "the input"}, {options.output, "the output"}};
    if (options.preview)
        files.emplace_back(*options.preview, "the preview");
    refuseOver("--save-settings", *options.saveSettings, "settings", files);
}

} // namespace

RenderPlan planRender(const RenderOptions& options) {
    Jobs jobs(options.input, options.output, options.preview, options.frames);
    refuseWritingOverFiles(options);
    const OutputFormat format =
        needingFormats(options.output, [&] { return formatOf(options.output); });
    if (options.preview)
        needingFormats(*options.preview, [&] { return formatOf(*options.preview); });
    FrameNaming naming = frameNaming({options.part, options.maps, options.layer});
    naming.views = options.views;
    OutputShape output =
        outputShape({options.channels, options.types, options.compression, options.clamp});
    return {std::move(jobs), std::move(naming), format, std::move(output),
            parseDepthConvention(options.depth)};
}

} // namespace umbrix
