#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace umbrix {

// The frames of --frames, in the order given: "1-100", "1-100x2", "100-1", "1,5,10-20".
// UsageError when the text is not such a list.
std::vector<int> parseFrames(std::string_view text);

// Whether a path holds a frame number pattern: a run of '#' (a lone '#' is four digits, a longer
// run one digit per '#'), a run of '@' (one digit each) or printf's %d / %0Nd.
bool hasFramePattern(std::string_view path);

// The path with every pattern replaced by the frame number, zero-padded to the pattern's width.
std::string framePath(std::string_view path, int frame);

} // namespace umbrix
