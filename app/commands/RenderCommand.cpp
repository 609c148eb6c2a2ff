#include "app/commands/RenderCommand.h"

#include "app/Console.h"
#include "app/Failure.h"
#include "app/commands/ControlSetting.h"
#include "app/commands/OutputStamp.h"
#include "app/commands/RunReport.h"
#include "app/commands/SettingsFile.h"
#include "app/commands/SettingsSaving.h"
#include "app/files/AtomicFile.h"
#include "app/files/CodecThreads.h"
#include "app/files/FormatsModule.h"
#include "app/files/ImageFile.h"
#include "app/files/Preview.h"
#include "app/files/SamePath.h"
#include "app/images/ChannelMap.h"
#include "app/images/ToolSession.h"
#include "app/sequence/FramePipeline.h"
#include "app/sequence/FrameSequence.h"
#include "app/sequence/Progress.h"

#include <fmt/format.h>
#include <system_error>

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
        if (!options.frames) {
            refusePattern(options.output, "OUTPUT");
            if (options.preview)
                refusePattern(*options.preview, "--preview");
            return;
        }
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

    // Without --frames a pattern would be written as it stands, into one file named so.
    static void refusePattern(const std::string& path, const char* what) {
        if (hasFramePattern(path))
            throw UsageError(fmt::format("{} {} has a frame number pattern: render a sequence "
                                         "with --frames",
                                         what, path));
    }

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

// The image formats module is loaded by whichever file first needs it: a failure to load it names
// that file.
template <class Use>
auto needingFormats(const std::string& path, const Use& use) -> decltype(use()) {
    try {
        return use();
    } catch (const FormatsUnavailable& e) {
        throw RunError(fmt::format("{}: {}", path, e.what()));
    }
}

// A frame's input could not be read: what --skip-bad-frames passes over.
class UnreadableFrame : public RunError {
  public:
    using RunError::RunError;
};

bool isUnreadableFrame(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const UnreadableFrame&) {
        return true;
    } catch (...) {
        return false;
    }
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

// What a run does with each frame; the stages of the pipeline.
class Render {
  public:
    struct Targets {
        FrameNaming naming;
        OutputFormat format;
        OutputOptions output;
    };
    // What every frame shares, worked out before anything is loaded or read (the output's and the
    // preview's formats are checked by runRender).
    static Targets targets(const RenderOptions& options) {
        Targets targets{{channelOverrides(options.maps), resultNames(options.layer), {}},
                        outputFormat(options.output),
                        outputOptions(options)};
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

    // --dry-run: every frame read and checked as a run would, none rendered or written.
    FrameStages checkingStages() {
        return {[this](std::size_t index) { return read(index); }, [](std::size_t, Frame&) {},
                [](std::size_t, Frame&) {}};
    }

    // --skip-bad-frames: a frame that cannot be read is reported in its turn and left out.
    FrameSkipping skipping() {
        if (!Options.skipBadFrames)
            return {};
        return {isUnreadableFrame, [this](std::size_t index, const std::exception_ptr& failure) {
                    skip(index, failure);
                }};
    }

    const std::vector<int>& skipped() const { return Skipped; }

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
    bool Described = false;   // -v's block is printed, for the first frame read
    std::vector<int> Skipped; // frames left out, in the order of the run

    Frame read(std::size_t index) {
        const Job job = AllJobs[index];
        checkFolderOf(job.output);
        if (job.preview)
            checkFolderOf(*job.preview);
        Frame frame = readInput(job.input);
        warnAboutChannels(frame, Options.input, Tool);
        if (Options.verbose && !Described) {
            describeRun(frame, job.input, Tool);
            Described = true;
        }
        return frame;
    }

    Frame readInput(const std::string& input) {
        try {
            return needingFormats(input, [&] { return readFrame(input, Naming, Options.part); });
        } catch (const RunError& e) {
            throw UnreadableFrame(e.what());
        }
    }

    void skip(std::size_t index, const std::exception_ptr& failure) {
        const int frame = AllJobs[index].frame.value_or(0);
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& e) {
            Shown.skipFrame(fmt::format("frame {}: {} (skipped)", frame, e.what()));
        }
        Skipped.push_back(frame);
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

[[noreturn]] void reportFailure(const PipelineOutcome& outcome, const Jobs& jobs,
                                const char* done) {
    try {
        std::rethrow_exception(outcome.failure);
    } catch (const std::runtime_error& e) {
        const Job job = jobs[outcome.failedIndex];
        if (!job.frame)
            throw;
        const std::string text =
            fmt::format("frame {}: {} (stopped; {} of {} frames {})", *job.frame, e.what(),
                        outcome.written, jobs.size(), done);
        if (dynamic_cast<const UsageError*>(&e))
            throw UsageError(text);
        throw RunError(text);
    }
}

// A failure that no reader or writer put into words, memory or threads running out, still names
// the file.
template <class Stage>
auto naming(const std::string& path, const Stage& stage) -> decltype(stage()) {
    try {
        return stage();
    } catch (...) {
        rethrowNaming(path);
    }
}

FrameStages namingFailures(FrameStages stages, const Jobs& jobs) {
    FrameStages named = stages;
    named.read = [read = stages.read, &jobs](std::size_t index) {
        return naming(jobs[index].input, [&] { return read(index); });
    };
    named.render = [render = stages.render, &jobs](std::size_t index, Frame& frame) {
        naming(jobs[index].input, [&] { render(index, frame); });
    };
    named.write = [write = stages.write, &jobs](std::size_t index, Frame& frame) {
        naming(jobs[index].output, [&] { write(index, frame); });
    };
    return named;
}

// Frame numbers as --frames takes them, runs of consecutive frames as ranges.
std::string frameListOf(const std::vector<int>& frames) {
    std::string text;
    for (std::size_t k = 0; k < frames.size();) {
        std::size_t end = k + 1;
        while (end < frames.size() && frames[end] == frames[end - 1] + 1)
            ++end;
        text += fmt::format("{}{}", text.empty() ? "" : ",", frames[k]);
        if (end - k > 1)
            text += fmt::format("-{}", frames[end - 1]);
        k = end;
    }
    return text;
}

void applySettingsFile(ToolSession& tool, const RenderOptions& options) {
    if (options.settingsFile)
        for (const ControlSetting& setting :
             readSettingsFile(*options.settingsFile, tool.controls()))
            tool.set(*setting.control, setting.value);
}

PipelineOutcome runStages(const Jobs& jobs, const FrameStages& stages,
                          const FrameSkipping& skipping, const RenderOptions& options) {
    try {
        return runPipeline(jobs.size(), stages, skipping);
    } catch (const std::system_error& e) {
        throw RunError(fmt::format("{}: cannot render: out of memory or threads to start one ({})",
                                   options.input, e.what()));
    }
}

} // namespace

void runRender(const RenderOptions& options) {
    const Jobs jobs(options);
    refusePreviewOverFiles(options);
    refuseSettingsOverFiles(options);
    for (const std::optional<std::string>& path : {std::optional(options.output), options.preview})
        if (path)
            needingFormats(*path, [&] { return outputFormat(*path); });
    Render::Targets targets = Render::targets(options);
    ToolSession tool(options.library.value_or(defaultLibraryPath()));
    applySettingsFile(tool, options);
    applySettings(tool, options.settings);
    warnAboutControls(tool);
    minihost::setThreads(options.threads);
    runCodecsOnHostPool();
    Progress progress(Progress::modeFor(options.quiet || options.dryRun), jobs.size());
    Render render(options, jobs, std::move(targets), tool, progress);
    const FrameStages stages = savingSettings(
        options.dryRun ? render.checkingStages() : render.stages(), options, tool.controls());
    const PipelineOutcome outcome =
        runStages(jobs, namingFailures(stages, jobs), render.skipping(), options);
    if (outcome.failure)
        reportFailure(outcome, jobs, options.dryRun ? "checked" : "written");
    if (options.dryRun && !options.quiet)
        console::message(
            fmt::format("dry run: {} of {} frames can be rendered; nothing was written",
                        outcome.written, jobs.size()));
    if (!render.skipped().empty())
        throw RunError(fmt::format("skipped {} of {} frames, which could not be read: {}",
                                   render.skipped().size(), jobs.size(),
                                   frameListOf(render.skipped())));
}

} // namespace umbrix
