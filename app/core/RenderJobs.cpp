#include "app/core/RenderJobs.h"

#include "app/Failure.h"

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

Jobs::Jobs(std::string input, std::string output, std::optional<std::string> preview,
           const std::optional<std::string>& frames)
    : Input(std::move(input)), Output(std::move(output)), Preview(std::move(preview)) {
    if (!frames) {
        refusePattern(Output, "OUTPUT");
        if (Preview)
            refusePattern(*Preview, "--preview");
        return;
    }
    requirePattern(Input, "INPUT");
    requirePattern(Output, "OUTPUT");
    if (Preview)
        requirePattern(*Preview, "--preview");
    Frames.emplace(*frames);
}

Job Jobs::operator[](std::size_t index) const {
    if (!Frames)
        return {std::nullopt, Input, Output, Preview};
    const int frame = (*Frames)[index];
    std::optional<std::string> preview;
    if (Preview)
        preview = framePath(*Preview, frame);
    return {frame, framePath(Input, frame), framePath(Output, frame), preview};
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
