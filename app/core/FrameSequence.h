#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace umbrix {

// The frames of --frames, in the order given: "1-100", "1-100x2", "100-1", "1,5,10-20". Kept as
// its ranges, so a list of millions of frames costs no more memory than one of ten.
class FrameList {
  public:
    // UsageError when the text is not such a list.
    explicit FrameList(std::string_view text);

    std::size_t size() const { return Count; }
    int operator[](std::size_t index) const;

    struct Range {
        int first = 0;
        int step = 1; // negative when descending
        std::size_t count = 0;
        std::size_t before = 0; // frames of the ranges before this one
    };

  private:
    std::vector<Range> Ranges;
    std::size_t Count = 0;
};

// Whether a path holds a frame number pattern: a run of '#' (a lone '#' is four digits, a longer
// run one digit per '#'), a run of '@' (one digit each) or printf's %d / %0Nd. UsageError for a
// %0Nd wider than a file name can be.
bool hasFramePattern(std::string_view path);

// The path with every pattern replaced by the frame number, zero-padded to the pattern's width.
std::string framePath(std::string_view path, int frame);

} // namespace umbrix
