#include "app/core/FrameSequence.h"

#include "app/Failure.h"
#include "app/Text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <fmt/format.h>
#include <optional>

namespace umbrix {

namespace {

// Beyond this a frame list is a typing mistake, not a sequence.
constexpr std::int64_t MaxFrames = 10'000'000;

struct Pattern {
    std::size_t length = 0; // characters the pattern takes in the path
    int digits = 0;         // width the frame number is padded to
};

// The widest frame number a pattern may ask for: the longest name a file can have.
constexpr int LongestNumber = 255;

// The pattern starting at `at`, if one does. UsageError for one wider than a file name can be.
std::optional<Pattern> patternAt(std::string_view path, std::size_t at) {
    const char c = path[at];
    if (c == '#' || c == '@') {
        std::size_t run = 1;
        while (at + run < path.size() && path[at + run] == c)
            ++run;
        const int digits = c == '#' && run == 1 ? 4 : static_cast<int>(run);
        return Pattern{run, digits};
    }
    if (c != '%')
        return std::nullopt;
    std::size_t end = at + 1;
    while (end < path.size() && std::isdigit(static_cast<unsigned char>(path[end])))
        ++end;
    if (end == path.size() || path[end] != 'd')
        return std::nullopt;
    const std::string_view width = path.substr(at + 1, end - at - 1);
    if (!width.empty() && width[0] != '0')
        return std::nullopt;
    int digits = 0;
    const auto read = std::from_chars(width.data(), width.data() + width.size(), digits);
    // A few characters could otherwise ask for a name of millions of digits.
    if (!width.empty() && (read.ec != std::errc() || digits > LongestNumber))
        throw UsageError(fmt::format("{}: {} is wider than a file name can be (at most {} digits)",
                                     excerpt(path), excerpt(path.substr(at, end + 1 - at)),
                                     LongestNumber));
    return Pattern{end + 1 - at, digits};
}

class FrameListReader {
  public:
    explicit FrameListReader(std::string_view text) : Text(text) {}

    std::vector<FrameList::Range> read() {
        std::vector<FrameList::Range> ranges;
        std::int64_t frames = 0;
        do
            frames += readItem(ranges, frames);
        while (take(','));
        if (At != Text.size())
            fail();
        return ranges;
    }

  private:
    std::string_view Text;
    std::size_t At = 0;

    [[noreturn]] void fail() const {
        throw UsageError(fmt::format("--frames {}: expected frames like 1-100, 1-100x2, 100-1 or "
                                     "1,5,10-20",
                                     excerpt(Text)));
    }

    bool take(char c) {
        if (At < Text.size() && Text[At] == c) {
            ++At;
            return true;
        }
        return false;
    }

    int number() {
        int value = 0;
        const char* begin = Text.data() + At;
        const auto [end, error] = std::from_chars(begin, Text.data() + Text.size(), value);
        if (error != std::errc() || end == begin)
            fail();
        At += static_cast<std::size_t>(end - begin);
        return value;
    }

    // Reads one range and returns its frame count.
    std::int64_t readItem(std::vector<FrameList::Range>& ranges, std::int64_t before) {
        const int first = number();
        int last = first;
        int step = 1;
        if (take('-')) {
            last = number();
            if (take('x'))
                step = number();
        }
        if (step <= 0)
            fail();
        const std::int64_t count = (std::int64_t{last} - first) / (last < first ? -step : step) + 1;
        if (count + before > MaxFrames)
            throw UsageError(
                fmt::format("--frames {}: more than {} frames", excerpt(Text), MaxFrames));
        ranges.push_back({first, last < first ? -step : step, static_cast<std::size_t>(count),
                          static_cast<std::size_t>(before)});
        return count;
    }
};

} // namespace

FrameList::FrameList(std::string_view text) : Ranges(FrameListReader(trimmed(text)).read()) {
    Count = Ranges.back().before + Ranges.back().count;
}

int FrameList::operator[](std::size_t index) const {
    const auto range =
        std::upper_bound(Ranges.begin(), Ranges.end(), index,
                         [](std::size_t i, const Range& r) { return i < r.before; }) -
        1;
    const auto k = static_cast<std::int64_t>(index - range->before);
    return static_cast<int>(range->first + k * range->step);
}

bool hasFramePattern(std::string_view path) {
    for (std::size_t at = 0; at < path.size(); ++at)
        if (patternAt(path, at))
            return true;
    return false;
}

std::string framePath(std::string_view path, int frame) {
    std::string result;
    for (std::size_t at = 0; at < path.size();) {
        if (const auto pattern = patternAt(path, at)) {
            result += fmt::format("{:0{}d}", frame, pattern->digits);
            at += pattern->length;
        } else {
            result += path[at++];
        }
    }
    return result;
}

} // namespace umbrix
