#pragma once

#include "app/core/FrameSequence.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace umbrix {

// One image to render: where it comes from and goes, and its frame number when in a sequence.
struct Job {
    std::optional<int> frame;
    std::string input;
    std::string output;
    std::optional<std::string> preview;
};

// The images of a run, made one at a time as the run reaches them: one, or with `frames` one per
// frame, every path's pattern replaced by the frame number. UsageError for a pattern without
// `frames`, or `frames` without a pattern in the input, output or preview.
class Jobs {
  public:
    Jobs(std::string input, std::string output, std::optional<std::string> preview,
         const std::optional<std::string>& frames);

    std::size_t size() const { return Frames ? Frames->size() : 1; }
    Job operator[](std::size_t index) const;

  private:
    std::string Input;
    std::string Output;
    std::optional<std::string> Preview;
    std::optional<FrameList> Frames;
};

// Frame numbers as --frames takes them, runs of consecutive frames as ranges: "1003-1004,1050".
std::string frameListOf(const std::vector<int>& frames);

} // namespace umbrix
