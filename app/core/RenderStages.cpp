#include "app/core/RenderStages.h"

#include "app/core/FrameSequence.h"
#include "app/core/FrameSource.h"
#include "app/core/MultiView.h"
#include "app/core/Preview.h"
#include "app/core/RenderWarnings.h"
#include "app/core/RunReport.h"
#include "app/core/StageFailures.h"
#include "app/files/AtomicFile.h"

namespace umbrix {

FrameStages RenderStages::stages() {
    return {[this](std::size_t index) { return read(index); },
            [this](std::size_t index, Rendered& frame) { render(index, frame); },
            [this](std::size_t index, Rendered& frame) { write(index, frame); }};
}

FrameStages RenderStages::checkingStages() {
    return {[this](std::size_t index) { return read(index); }, [](std::size_t, Rendered&) {},
            [](std::size_t, Rendered&) {}};
}

FrameSkipping RenderStages::skipping() {
    if (!Options.skipBadFrames)
        return {};
    return {isUnreadableFrame,
            [this](std::size_t index, const std::exception_ptr& failure) { skip(index, failure); }};
}

Rendered RenderStages::read(std::size_t index) {
    const Job job = Plan.jobs[index];
    checkFolderOf(job.output);
    if (job.preview)
        checkFolderOf(*job.preview);
    std::shared_ptr<Frame> frame = readInput(job.input);
    printWarnings(channelWarnings(*frame, Options.input, Values));
    printWarnings(depthWarnings(*frame, Options.input, Values.depth()));
    convertDepth(*frame, Values.depth(), Values[control::CamFOV]);
    if (Options.verbose && !Described) {
        describeRun(*frame, job.input, Values, Values.depth());
        Described = true;
    }
    return {std::move(frame), nullptr, {}};
}

// The output's channels are checked from the header, before any pixel is read.
std::shared_ptr<Frame> RenderStages::readInput(const std::string& input) {
    try {
        std::shared_ptr<Frame> frame =
            needingFormats(input, [&] { return openFrame(input, Plan.naming, Options.part); });
        checkOutputChannels(*frame, Plan.output.options, Plan.format);
        loadFrame(*frame);
        return frame;
    } catch (const MissingInput& e) {
        std::string text = e.what();
        if (hasFramePattern(input))
            text += " (render a sequence with --frames)";
        throw UnreadableFrame(text, e.path());
    } catch (const RunError& e) {
        throw UnreadableFrame(e.what(), e.path(), std::nullopt, e.cause());
    }
}

void RenderStages::skip(std::size_t index, const std::exception_ptr& failure) {
    const int frame = Plan.jobs[index].frame.value_or(0);
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        Shown.skipFrame(fmt::format("frame {}: {} (skipped)", frame, e.what()));
    }
    Skipped.push_back(frame);
}

void RenderStages::render(std::size_t index, Rendered& frame) {
    Shown.startFrame(frame.source->windows.height);
    const double time = Plan.jobs[index].frame.value_or(0);
    frame = TheTool.render(std::move(frame.source), Values, time);
    // Rendered once: the source's image is not needed again while the frame waits to be written;
    // other views are read from its carried planes.
    releaseSourceImage(frame);
    renderOtherViews(TheTool, frame, Values, time, Values.depth());
}

void RenderStages::write(std::size_t index, Rendered& frame) {
    const Job job = Plan.jobs[index];
    printWarnings(writeWarnings(*frame.source, Plan.format, Plan.output.options, Options.output));
    writeResult(job.output, Plan.format, frame, Plan.output.options, Values);
    if (job.preview)
        writePreview(*job.preview, previewPicture(*frame.image));
    Shown.finishFrame(job.frame ? fmt::format("frame {}: {}", *job.frame, job.output) : job.output);
}

} // namespace umbrix
