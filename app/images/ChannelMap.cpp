#include "app/images/ChannelMap.h"

#include "app/Failure.h"
#include "app/Text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <fmt/format.h>
#include <optional>
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
                                     excerpt(override.name), override.number, file,
                                     excerpt(override.name), fmt::join(channels, " ")));
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

struct Role {
    std::string_view name;
    int number = 0;
};
constexpr std::array<Role, 4> Roles = {{{"depth", DepthChannel},
                                        {"normal.x", SuppliedNormalX},
                                        {"normal.y", SuppliedNormalX + 1},
                                        {"normal.z", SuppliedNormalX + 2}}};

std::optional<int> roleNumber(std::string_view text) {
    for (const Role& role : Roles)
        if (text.size() == role.name.size() &&
            std::equal(text.begin(), text.end(), role.name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == b;
            }))
            return role.number;
    return std::nullopt;
}

std::string roleNames() {
    std::string names;
    for (const Role& role : Roles)
        names += fmt::format("{}{}", names.empty() ? "" : ", ", role.name);
    return names;
}

std::optional<int> channelNumber(std::string_view text) {
    int number = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || number < 0 ||
        number >= ChannelCount)
        return roleNumber(text);
    return number;
}

} // namespace

ResultNames resultNames(const std::optional<std::string>& layer) {
    if (!layer)
        return {"R", "G", "B", "A"};
    if (layer->empty())
        throw UsageError("--layer: the layer needs a name, such as --layer ssao");
    // The longest result name the layer makes, NAME.R, must be one EXR readers take.
    if (layer->size() + 2 > LongestChannelName)
        throw UsageError(fmt::format("--layer {}: longer than the {} bytes EXR readers take in a "
                                     "channel name, with .R",
                                     excerpt(*layer), LongestChannelName));
    return {*layer + ".R", *layer + ".G", *layer + ".B", *layer + ".A"};
}

std::string_view roleName(int number) {
    for (const Role& role : Roles)
        if (role.number == number)
            return role.name;
    return {};
}

bool isDepthName(std::string_view name) {
    return name == "Z" || name == "depth.Z" || name == "Depth.Z" || endsWith(name, ".Depth.Z");
}

ChannelOverride parseChannelOverride(std::string_view text) {
    const auto equals = text.rfind('=');
    if (equals == std::string_view::npos || equals == 0)
        throw UsageError(fmt::format("--map {}: expected NAME=NUMBER or NAME=ROLE", excerpt(text)));
    const std::optional<int> number = channelNumber(trimmed(text.substr(equals + 1)));
    if (!number)
        throw UsageError(fmt::format("--map {}: the channel number must be a whole number from 0 "
                                     "to {}, or a role: {}",
                                     excerpt(text), ChannelCount - 1, roleNames()));
    return {std::string(text.substr(0, equals)), *number};
}

void checkChannelOverrides(const std::vector<ChannelOverride>& overrides) {
    std::set<std::string> names;
    std::set<int> numbers;
    for (const ChannelOverride& override : overrides) {
        if (!names.insert(override.name).second)
            throw UsageError(
                fmt::format("--map: channel '{}' is mapped twice", excerpt(override.name)));
        if (!numbers.insert(override.number).second)
            throw UsageError(
                fmt::format("--map: channel number {} is given twice", override.number));
    }
}

ChannelMap mapChannels(const std::vector<std::string>& fileChannels,
                       const std::vector<ChannelOverride>& overrides, const std::string& file,
                       const ResultNames& results, const ViewNames* view) {
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
    if (!view && overrides.empty() && fileChannels.size() == 1 && fileChannels[0] == "Y") {
        assign(0, DepthChannel);
        map.depthIsOnlyChannel = true;
    }
    const std::array<bool, ChannelCount> chosen = taken;
    for (std::size_t i = 0; i < fileChannels.size(); ++i) {
        const std::string& name = view ? view->local[i] : fileChannels[i];
        const int usual = name.empty() ? -1 : usualNumber(name, view ? view->results : results);
        if (map.numbers[i] >= 0 || usual < 0)
            continue;
        if (!taken[static_cast<std::size_t>(usual)])
            assign(i, usual);
        else if (!chosen[static_cast<std::size_t>(usual)])
            map.passedOver.push_back({usual, fileChannels[i]});
    }
    int next = FirstFreeChannel;
    for (std::size_t i = 0; i < fileChannels.size(); ++i) {
        if (map.numbers[i] >= 0)
            continue;
        while (next < ChannelCount && taken[static_cast<std::size_t>(next)])
            ++next;
        if (next == ChannelCount)
            throw RunError(fmt::format("{}: too many channels ({}); the tool takes at most {}",
                                       file, fileChannels.size(), ChannelCount),
                           file);
        assign(i, next);
    }
    map.hasDepth = taken[DepthChannel];
    nameUnfilledResults(map.names, results);
    return map;
}

} // namespace umbrix
