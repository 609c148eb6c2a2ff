#include "app/RenderCommand.h"

#include "app/AtomicFile.h"
#include "app/ChannelMap.h"
#include "app/Console.h"
#include "app/ControlSetting.h"
#include "app/Failure.h"
#include "app/FrameSequence.h"
#include "app/ImageFile.h"
#include "app/Preview.h"
#include "app/Progress.h"
#include "app/RenderedImage.h"
#include "app/ResultFile.h"
#include "app/ToolSession.h"

#include <fmt/format.h>

namespace umbrix {

namespace {

// One image to render: where it comes from and goes, and its frame number when in a sequence.
struct Job {
    std::optional<int> frame;
    std::string input;
    std::string output;
    std::optional<std::string> preview;
};

// The paths as typed, for messages that concern every frame.
struct Targets {
    std::string input;
    std::string output;
    OutputFormat format;
};

void requirePattern(const std::string& path, const char* what) {
    if (!hasFramePattern(path))
        throw UsageError(fmt::format("--frames needs a frame number pattern (####, @ or %04d) in "
                                     "{}: {}",
                                     what, path));
}

std::vector<Job> jobsFor(const RenderOptions& options) {
    if (!options.frames)
        return {{std::nullopt, options.input, options.output, options.preview}};
    requirePattern(options.input, "INPUT");
    requirePattern(options.output, "OUTPUT");
    if (options.preview)
        requirePattern(*options.preview, "--preview");
    std::vector<Job> jobs;
    for (int frame : parseFrames(*options.frames)) {
        std::optional<std::string> preview;
        if (options.preview)
            preview = framePath(*options.preview, frame);
        jobs.push_back(
            {frame, framePath(options.input, frame), framePath(options.output, frame), preview});
    }
    return jobs;
}

std::vector<ChannelOverride> channelOverrides(const std::vector<std::string>& maps) {
    std::vector<ChannelOverride> overrides;
    for (const std::string& text : maps)
        overrides.push_back(parseChannelOverride(text));
    checkChannelOverrides(overrides);
    return overrides;
}

void applySettings(ToolSession& tool, const std::vector<std::string>& settings) {
    std::vector<ControlSetting> parsed;
    for (const std::string& text : settings)
        parsed.push_back(parseControlSetting(text, tool.controls()));
    for (const ControlSetting& setting : parsed)
        tool.set(*setting.control, setting.value);
}

void warnOfResult(const Targets& targets, const RenderedImage& rendered,
                  const std::vector<std::string>& dropped) {
    if (!rendered.channels.hasDepth)
        console::warning(fmt::format("{} has no depth channel (Z); depth reads as 0 everywhere. "
                                     "Name it with --map NAME={}",
                                     targets.input, DepthChannel));
    if (!dropped.empty())
        console::warning(fmt::format("{} keeps R G B{} only; dropped {} (write .exr to keep "
                                     "every channel)",
                                     targets.output, targets.format.alpha ? " A" : "",
                                     fmt::join(dropped, " ")));
}

void renderJob(ToolSession& tool, const Job& job, const Targets& targets,
               const std::vector<ChannelOverride>& overrides, Progress& progress) {
    progress.startFrame();
    checkFolderOf(job.output);
    if (job.preview)
        checkFolderOf(*job.preview);
    FileImage image = readImageFile(job.input);
    progress.setRows(image.header.height);
    const RenderedImage rendered =
        renderImage(tool, std::move(image), overrides, job.input, job.frame.value_or(0));
    const auto dropped = writeResult(job.output, targets.format, rendered);
    if (job.preview)
        writePreview(*job.preview, previewPicture(*rendered.result));
    warnOfResult(targets, rendered, dropped);
    progress.finishFrame(job.frame ? fmt::format("frame {}: {}", *job.frame, job.output)
                                   : job.output);
}

} // namespace

void runRender(const RenderOptions& options) {
    if (options.threads < 0)
        throw UsageError(
            fmt::format("--threads {}: must be 0 (one per core) or more", options.threads));
    const std::vector<Job> jobs = jobsFor(options);
    const std::vector<ChannelOverride> overrides = channelOverrides(options.maps);
    const Targets targets{options.input, options.output, outputFormat(options.output)};
    if (options.preview)
        outputFormat(*options.preview);
    ToolSession tool(options.library.value_or(defaultLibraryPath()));
    applySettings(tool, options.settings);
    minihost::setThreads(options.threads);
    Progress progress(Progress::modeFor(options.quiet), jobs.size());
    for (std::size_t done = 0; done < jobs.size(); ++done) {
        const Job& job = jobs[done];
        try {
            renderJob(tool, job, targets, overrides, progress);
        } catch (const std::runtime_error& e) {
            if (!job.frame)
                throw;
            const std::string text = fmt::format("frame {}: {} (stopped; {} of {} frames written)",
                                                 *job.frame, e.what(), done, jobs.size());
            if (dynamic_cast<const UsageError*>(&e))
                throw UsageError(text);
            throw RunError(text);
        }
    }
}

} // namespace umbrix
