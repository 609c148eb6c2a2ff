#include "app/commands/RenderCommand.h"

#include "app/Console.h"
#include "app/Failure.h"
#include "app/commands/ControlSetting.h"
#include "app/commands/OutputStamp.h"
#include "app/files/AtomicFile.h"
#include "app/files/CodecThreads.h"
#include "app/files/ImageFile.h"
#include "app/files/Preview.h"
#include "app/images/ChannelMap.h"
#include "app/images/ToolSession.h"
#include "app/sequence/FramePipeline.h"
#include "app/sequence/FrameSequence.h"
#include "app/sequence/Progress.h"

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

// The images of a run, made one at a time as the run reaches them.
class Jobs {
  public:
    explicit Jobs(const RenderOptions& options) : Options(options) {
        if (!options.frames)
            return;
        requirePattern(options.input, "INPUT");
        requirePattern(options.output, "OUTPUT");
        if (options.preview)
            requirePattern(*options.preview, "--preview");
        Frames.emplace(*options.frames);
    }

    std::size_t size() const { return Frames ? Frames->size() : 1; }

    Job operator[](std::size_t index) const {
        if (!Frames)
            return {std::nullopt, Options.input, Options.output, Options.preview};
        const int frame = (*Frames)[index];
        std::optional<std::string> preview;
        if (Options.preview)
            preview = framePath(*Options.preview, frame);
        return {frame, framePath(Options.input, frame), framePath(Options.output, frame), preview};
    }

  private:
    const RenderOptions& Options;
    std::optional<FrameList> Frames;

    static void requirePattern(const std::string& path, const char* what) {
        if (!hasFramePattern(path))
            throw UsageError(fmt::format("--frames needs a frame number pattern (####, @ or %04d) "
                                         "in {}: {}",
                                         what, path));
    }
};

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

// What a run does with each frame; the stages of the pipeline.
class Render {
  public:
    struct Targets {
        FrameNaming naming;
        OutputFormat format;
        OutputOptions output;
    };
    // What every frame shares, worked out before anything is loaded or read.
    static Targets targets(const RenderOptions& options) {
        Targets targets{{channelOverrides(options.maps), resultNames(options.layer), {}},
                        outputFormat(options.output),
                        outputOptions(options)};
        if (options.preview)
            outputFormat(*options.preview);
        // A name --ch or -d gives is checked against each frame's header, before its pixels.
        targets.naming.mapped = [output = targets.output,
                                 format = targets.format](const Frame& frame) {
            outputChannels(frame, output, !format.exr, format.alpha);
        };
        return targets;
    }

    Render(const RenderOptions& options, const Jobs& jobs, Targets targets, ToolSession& tool,
           Progress& progress)
        : Options(options), AllJobs(jobs), Tool(tool), Shown(progress),
          Naming(std::move(targets.naming)), Format(targets.format),
          Output(std::move(targets.output)) {
        Output.stamp = outputStamp(tool);
    }

    FrameStages stages() {
        return {[this](std::size_t index) { return read(index); },
                [this](std::size_t index, Frame& frame) { render(index, frame); },
                [this](std::size_t index, Frame& frame) { write(index, frame); }};
    }

  private:
    const RenderOptions& Options;
    const Jobs& AllJobs;
    ToolSession& Tool;
    Progress& Shown;
    FrameNaming Naming;
    OutputFormat Format;
    OutputOptions Output;

    static OutputOptions outputOptions(const RenderOptions& options) {
        OutputOptions output;
        if (options.channels)
            output.picks = parseChannelPicks(*options.channels);
        for (const std::string& text : options.types)
            output.types.push_back(parseTypeChoice(text));
        if (options.compression) {
            output.compression = parseCompression(*options.compression);
            if (output.compression->lossy)
                console::warning(fmt::format("--compression {} is lossy: carried channels will "
                                             "not keep their bits",
                                             *options.compression));
        }
        output.clamp = options.clamp;
        return output;
    }

    Frame read(std::size_t index) {
        const Job job = AllJobs[index];
        checkFolderOf(job.output);
        if (job.preview)
            checkFolderOf(*job.preview);
        Frame frame = readFrame(job.input, Naming, Options.part);
        if (!frame.map.hasDepth)
            console::warning(fmt::format("{} has no depth channel (Z); depth reads as 0 "
                                         "everywhere. Name it with --map NAME={}",
                                         Options.input, DepthChannel));
        return frame;
    }

    void render(std::size_t index, Frame& frame) {
        Shown.startFrame(frame.windows.height);
        Tool.render(frame, AllJobs[index].frame.value_or(0));
    }

    void write(std::size_t index, Frame& frame) {
        const Job job = AllJobs[index];
        const std::vector<std::string> dropped = droppedChannels(frame, Format, Output);
        if (!dropped.empty())
            console::warning(fmt::format("{} keeps R G B{} only; dropped {} (write .exr to keep "
                                         "every channel)",
                                         Options.output, Format.alpha ? " A" : "",
                                         fmt::join(dropped, " ")));
        OutputOptions output = Output;
        for (Attribute& attribute : writingTime())
            output.stamp.push_back(std::move(attribute));
        writeFrame(job.output, Format, frame, output);
        if (job.preview)
            writePreview(*job.preview, previewPicture(*frame.image));
        Shown.finishFrame(job.frame ? fmt::format("frame {}: {}", *job.frame, job.output)
                                    : job.output);
    }
};

[[noreturn]] void reportFailure(const PipelineOutcome& outcome, const Jobs& jobs) {
    try {
        std::rethrow_exception(outcome.failure);
    } catch (const std::runtime_error& e) {
        const Job job = jobs[outcome.failedIndex];
        if (!job.frame)
            throw;
        const std::string text = fmt::format("frame {}: {} (stopped; {} of {} frames written)",
                                             *job.frame, e.what(), outcome.written, jobs.size());
        if (dynamic_cast<const UsageError*>(&e))
            throw UsageError(text);
        throw RunError(text);
    }
}

} // namespace

void runRender(const RenderOptions& options) {
    if (options.threads < 0)
        throw UsageError(
            fmt::format("--threads {}: must be 0 (one per core) or more", options.threads));
    const Jobs jobs(options);
    Render::Targets targets = Render::targets(options);
    ToolSession tool(options.library.value_or(defaultLibraryPath()));
    applySettings(tool, options.settings);
    minihost::setThreads(options.threads);
    runCodecsOnHostPool();
    Progress progress(Progress::modeFor(options.quiet), jobs.size());
    Render render(options, jobs, std::move(targets), tool, progress);
    const PipelineOutcome outcome = runPipeline(jobs.size(), render.stages());
    if (outcome.failure)
        reportFailure(outcome, jobs);
}

} // namespace umbrix
