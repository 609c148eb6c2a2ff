#include "app/files/OutputOptions.h"

#include "app/Failure.h"
#include "app/Text.h"
#include "app/images/ChannelMap.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <fmt/format.h>
#include <set>

namespace umbrix {

namespace {

std::string_view withoutSpaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

bool wholeIn(std::string_view digits, int low, int high, int& value) {
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return !digits.empty() && error == std::errc() && end == digits.data() + digits.size() &&
           value >= low && value <= high;
}

bool numberIn(std::string_view digits, float low, float high, float& value) {
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return !digits.empty() && error == std::errc() && end == digits.data() + digits.size() &&
           value >= low && value <= high;
}

} // namespace

std::vector<ChannelPick> parseChannelPicks(std::string_view list) {
    std::vector<ChannelPick> picks;
    std::set<std::string> names;
    std::size_t at = 0;
    while (at <= list.size()) {
        const std::size_t comma = std::min(list.find(',', at), list.size());
        const std::string_view item = withoutSpaces(list.substr(at, comma - at));
        const std::size_t equals = item.find('=');
        ChannelPick pick{std::string(withoutSpaces(item.substr(0, equals))),
                         std::string(equals == std::string_view::npos
                                         ? withoutSpaces(item)
                                         : withoutSpaces(item.substr(equals + 1)))};
        if (pick.name.empty() || pick.from.empty())
            throw UsageError(
                fmt::format("--ch {}: expected channel names such as R,G,B,AO=A", excerpt(list)));
        if (pick.name.size() > LongestChannelName)
            throw UsageError(fmt::format("--ch: channel name '{}' is longer than the {} bytes EXR "
                                         "readers take",
                                         excerpt(pick.name), LongestChannelName));
        if (!names.insert(pick.name).second)
            throw UsageError(
                fmt::format("--ch {}: '{}' is written twice", excerpt(list), excerpt(pick.name)));
        picks.push_back(std::move(pick));
        at = comma + 1;
    }
    return picks;
}

TypeChoice parseTypeChoice(std::string_view text) {
    const std::size_t equals = text.rfind('=');
    TypeChoice choice;
    const std::string_view type = equals == std::string_view::npos ? text : text.substr(equals + 1);
    if (equals != std::string_view::npos)
        choice.name = std::string(text.substr(0, equals));
    if (type == "half")
        choice.type = SampleType::Half;
    else if (type == "float")
        choice.type = SampleType::Float;
    else
        throw UsageError(fmt::format("-d {}: the type must be half or float", excerpt(text)));
    if (choice.name && choice.name->empty())
        throw UsageError(fmt::format("-d {}: expected TYPE or NAME=TYPE", excerpt(text)));
    return choice;
}

CompressionChoice parseCompression(std::string_view text) {
    struct Known {
        std::string_view name;
        Compression kind;
        bool lossy;
    };
    static constexpr std::array<Known, 10> known = {{
        {"none", Compression::None, false},
        {"rle", Compression::Rle, false},
        {"zips", Compression::Zips, false},
        {"zip", Compression::Zip, false},
        {"piz", Compression::Piz, false},
        {"pxr24", Compression::Pxr24, true},
        {"b44", Compression::B44, true},
        {"b44a", Compression::B44a, true},
        {"dwaa", Compression::Dwaa, true},
        {"dwab", Compression::Dwab, true},
    }};
    const std::size_t colon = text.find(':');
    const std::string_view name = text.substr(0, colon);
    const auto found =
        std::find_if(known.begin(), known.end(), [&](const Known& k) { return k.name == name; });
    if (found == known.end())
        throw UsageError(fmt::format("--compression {}: expected none, rle, zips, zip, piz, pxr24, "
                                     "b44, b44a, dwaa or dwab (zip:LEVEL, dwaa:QUALITY)",
                                     excerpt(text)));
    CompressionChoice choice{std::string(text), found->kind, std::nullopt, std::nullopt,
                             found->lossy};
    if (colon == std::string_view::npos)
        return choice;
    const std::string_view value = text.substr(colon + 1);
    const bool zip = found->kind == Compression::Zip || found->kind == Compression::Zips;
    const bool dwa = found->kind == Compression::Dwaa || found->kind == Compression::Dwab;
    int level = 0;
    float quality = 0.0f;
    if (zip && wholeIn(value, 1, 9, level))
        choice.zipLevel = level;
    else if (dwa && numberIn(value, 0.0f, 1e6f, quality))
        choice.dwaQuality = quality;
    else
        throw UsageError(fmt::format("--compression {}: {}", excerpt(text),
                                     zip   ? "the zip level is a whole number from 1 to 9"
                                     : dwa ? "the quality is a number, 45 by default"
                                           : "this compression takes no level"));
    return choice;
}

} // namespace umbrix
