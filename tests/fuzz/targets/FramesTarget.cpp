// --frames with an input and an output pattern: the input's lines are the frame list, the input
// path and the output path. Every frame's paths are made as a run makes them.

#include "app/Failure.h"
#include "app/core/FrameSequence.h"
#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

// A list may hold millions of frames; a few from each end and the middle show the indexing.
constexpr std::size_t Visited = 16;

void checkPaths(const umbrix::FrameList& frames, std::string_view input, std::string_view output) {
    const std::size_t count = frames.size();
    FUZZ_CHECK(count > 0);
    for (std::size_t k = 0; k < std::min(count, Visited); ++k)
        for (const std::size_t index : {k, count - 1 - k, count / 2}) {
            const int frame = frames[index];
            const std::string in = umbrix::framePath(input, frame);
            const std::string out = umbrix::framePath(output, frame);
            // A path with no pattern is the path itself.
            if (!umbrix::hasFramePattern(input))
                FUZZ_CHECK(in == input);
            if (!umbrix::hasFramePattern(output))
                FUZZ_CHECK(out == output);
        }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const fuzzsupport::Split list = fuzzsupport::splitLine(text);
    const fuzzsupport::Split paths = fuzzsupport::splitLine(list.rest);
    try {
        const umbrix::FrameList frames(list.first);
        checkPaths(frames, paths.first, paths.rest);
    } catch (const umbrix::UsageError& e) {
        fuzzsupport::checkMessage(e);
    }
    return 0;
}
