#include "app/core/RenderJobs.h"

#include "app/Failure.h"
#include "app/core/StageFailures.h"
#include "app/files/AtomicFile.h"

#include <fmt/format.h>

namespace umbrix {

namespace {

// Without --frames a pattern would be written as it stands, into one file named so.
void refusePattern(const std::string& path, const char* what) {
    if (hasFramePattern(path))
        throw UsageError(fmt::format("{} {} has a frame number pattern: render a sequence "
                                     "with --frames",
                                     what, path));
}

void requirePattern(const std::string& path, const char* what) {
    if (!hasFramePattern(path))
        throw UsageError(fmt::format("--frames needs a frame number pattern (####, @ or %04d) "
                                     "in {}: {}",
                                     what, path));
}

} // namespace

InputFrames::InputFrames(std::string input, const std::optional<std::string>& frames)
    : Input(std::move(input)) {
    if (!frames)
        return;
    requirePattern(Input, "INPUT");
    Frames.emplace(*frames);
}

std::optional<int> InputFrames::number(std::size_t index) const {
    if (!Frames)
        return std::nullopt;
    return (*Frames)[index];
}

std::string InputFrames::path(std::size_t index) const {
    return Frames ? framePath(Input, (*Frames)[index]) : Input;
}

NamedFiles InputFrames::named() const {
    NamedFiles files = {{Input, "the input"}};
    for (std::size_t k = 0; Frames && k < Frames->size(); ++k)
        files.emplace_back(path(k), fmt::format("frame {} of the input", (*Frames)[k]));
    return files;
}

std::shared_ptr<Frame> InputFrames::read(std::size_t index, const FrameNaming& naming,
                                         const std::optional<std::string>& part) const {
    const std::string file = path(index);
    try {
        std::shared_ptr<Frame> frame =
            needingFormats(file, [&] { return openFrame(file, naming, part); });
        loadFrame(*frame);
        return frame;
    } catch (const UsageError& e) {
        if (!Frames)
            throw;
        throw UsageError(fmt::format("frame {}: {}", (*Frames)[index], e.what()));
    } catch (const RunError& e) {
        if (!Frames)
            throw;
        throw RunError(fmt::format("frame {}: {}", (*Frames)[index], e.what()), e.path(),
                       (*Frames)[index], e.cause());
    }
}

void checkSettingsTarget(const std::string& path, const NamedFiles& read) {
    refuseWritingOver("--save-settings", path, "settings", read);
    checkFolderOf(path);
}

Jobs::Jobs(std::string input, std::string output, std::optional<std::string> preview,
           const std::optional<std::string>& frames)
    : Inputs(std::move(input), frames), Output(std::move(output)), Preview(std::move(preview)) {
    if (!frames) {
        refusePattern(Output, "OUTPUT");
        if (Preview)
            refusePattern(*Preview, "--preview");
        return;
    }
    requirePattern(Output, "OUTPUT");
    if (Preview)
        requirePattern(*Preview, "--preview");
}

Job Jobs::operator[](std::size_t index) const {
    const std::optional<int> frame = Inputs.number(index);
    if (!frame)
        return {std::nullopt, Inputs.path(index), Output, Preview};
    std::optional<std::string> preview;
    if (Preview)
        preview = framePath(*Preview, *frame);
    return {frame, Inputs.path(index), framePath(Output, *frame), preview};
}

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

} // namespace umbrix
