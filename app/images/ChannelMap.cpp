#include "app/images/ChannelMap.h"

#include "app/Failure.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <fmt/format.h>
#include <set>

namespace umbrix {

namespace {

bool endsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// 0, 1, 2 for the x, y, z component of a supplied normal; -1 otherwise.
int normalComponent(std::string_view name) {
    static const std::array<std::array<std::string_view, 3>, 4> sets = {{
        {"N.X", "N.Y", "N.Z"},
        {"N.x", "N.y", "N.z"},
        {"N.R", "N.G", "N.B"},
        {"Normal.X", "Normal.Y", "Normal.Z"},
    }};
    for (const auto& set : sets)
        for (int k = 0; k < 3; ++k)
            if (name == set[static_cast<std::size_t>(k)])
                return k;
    static const std::array<std::string_view, 3> prefixed = {".Normal.X", ".Normal.Y", ".Normal.Z"};
    for (int k = 0; k < 3; ++k)
        if (endsWith(name, prefixed[static_cast<std::size_t>(k)]))
            return k;
    return -1;
}

int usualNumber(std::string_view name, const ResultNames& results) {
    for (int k = 0; k < ResultChannels; ++k)
        if (name == results[static_cast<std::size_t>(k)])
            return k;
    if (isDepthName(name))
        return DepthChannel;
    if (const int k = normalComponent(name); k >= 0)
        return SuppliedNormalX + k;
    return -1;
}

std::size_t fileIndex(const std::vector<std::string>& channels, const ChannelOverride& override,
                      const std::string& file) {
    const auto found = std::find(channels.begin(), channels.end(), override.name);
    if (found == channels.end())
        throw UsageError(fmt::format("--map {}={}: {} has no channel '{}' (it has {})",
                                     override.name, override.number, file, override.name,
                                     fmt::join(channels, " ")));
    return static_cast<std::size_t>(found - channels.begin());
}

// Channels 0-3 that no file channel fills keep their usual names, unless a carried channel has
// taken one.
void nameUnfilledResults(std::vector<std::string>& names, const ResultNames& results) {
    for (std::size_t k = 0; k < ResultChannels; ++k) {
        if (!names[k].empty())
            continue;
        const bool taken = std::find(names.begin(), names.end(), results[k]) != names.end();
        names[k] = taken ? "umbrix." + results[k] : results[k];
    }
}

} // namespace

ResultNames resultNames(const std::optional<std::string>& layer) {
    if (!layer)
        return {"R", "G", "B", "A"};
    return {*layer + ".R", *layer + ".G", *layer + ".B", *layer + ".A"};
}

bool isDepthName(std::string_view name) {
    return name == "Z" || name == "depth.Z" || name == "Depth.Z" || endsWith(name, ".Depth.Z");
}

ChannelOverride parseChannelOverride(std::string_view text) {
    const auto equals = text.rfind('=');
    if (equals == std::string_view::npos || equals == 0)
        throw UsageError(fmt::format("--map {}: expected NAME=NUMBER", text));
    const std::string_view digits = text.substr(equals + 1);
    int number = -1;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        number < 0 || number >= ChannelCount)
        throw UsageError(fmt::format("--map {}: the channel number must be a whole number from 0 "
                                     "to {}",
                                     text, ChannelCount - 1));
    return {std::string(text.substr(0, equals)), number};
}

void checkChannelOverrides(const std::vector<ChannelOverride>& overrides) {
    std::set<std::string> names;
    std::set<int> numbers;
    for (const ChannelOverride& override : overrides) {
        if (!names.insert(override.name).second)
            throw UsageError(fmt::format("--map: channel '{}' is mapped twice", override.name));
        if (!numbers.insert(override.number).second)
            throw UsageError(
                fmt::format("--map: channel number {} is given twice", override.number));
    }
}

ChannelMap mapChannels(const std::vector<std::string>& fileChannels,
                       const std::vector<ChannelOverride>& overrides, const std::string& file,
                       const ResultNames& results) {
    ChannelMap map;
    map.numbers.assign(fileChannels.size(), -1);
    map.names.assign(ChannelCount, std::string());
    std::array<bool, ChannelCount> taken{};
    auto assign = [&](std::size_t index, int number) {
        map.numbers[index] = number;
        map.names[static_cast<std::size_t>(number)] = fileChannels[index];
        taken[static_cast<std::size_t>(number)] = true;
    };
    for (const ChannelOverride& override : overrides)
        assign(fileIndex(fileChannels, override, file), override.number);
    for (std::size_t i = 0; i < fileChannels.size(); ++i) {
        const int usual = usualNumber(fileChannels[i], results);
        if (map.numbers[i] < 0 && usual >= 0 && !taken[static_cast<std::size_t>(usual)])
            assign(i, usual);
    }
    int next = FirstFreeChannel;
    for (std::size_t i = 0; i < fileChannels.size(); ++i) {
        if (map.numbers[i] >= 0)
            continue;
        while (next < ChannelCount && taken[static_cast<std::size_t>(next)])
            ++next;
        if (next == ChannelCount)
            throw RunError(fmt::format("{}: too many channels ({}); the tool takes at most {}",
                                       file, fileChannels.size(), ChannelCount));
        assign(i, next);
    }
    map.hasDepth = taken[DepthChannel];
    nameUnfilledResults(map.names, results);
    return map;
}

} // namespace umbrix
