#pragma once

#include "contract/Controls.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace umbrix {

// Whether a channel name is one of the usual names of depth (Z, depth.Z, Depth.Z, *.Depth.Z).
bool isDepthName(std::string_view name);

// The name --map takes for a channel number with a role the tool reads (depth, normal.x, normal.y,
// normal.z); empty for other numbers.
std::string_view roleName(int number);

// One --map NAME=NUMBER or NAME=ROLE.
struct ChannelOverride {
    std::string name;
    int number = 0;
};
// UsageError unless the text is NAME=NUMBER with NUMBER a whole number from 0 to 127, or NAME=ROLE
// with ROLE a role name, in any case.
ChannelOverride parseChannelOverride(std::string_view text);
// UsageError when two overrides name the same channel or number.
void checkChannelOverrides(const std::vector<ChannelOverride>& overrides);

// Where a file's channels go in a host image, and what the host image's channels are called.
struct ChannelMap {
    std::vector<int> numbers;       // channel number of each file channel, in file order
    std::vector<std::string> names; // name of every channel number; empty for unused numbers
    bool hasDepth = false;
    bool depthIsOnlyChannel = false; // a file of one channel, Y: a depth map, taken as the depth
    // File channels that have the usual name of a role another channel's usual name filled first:
    // they are carried instead, and the user may want them.
    struct PassedOver {
        int number = 0; // the role's channel number
        std::string name;
    };
    std::vector<PassedOver> passedOver;
};

// The longest channel name every EXR reader takes.
constexpr std::size_t LongestChannelName = 255;

// The names of the tool's four results in a file: R G B A, or LAYER.R ... LAYER.A under a layer,
// which leaves a file's own R G B A to be carried through.
using ResultNames = std::array<std::string, ResultChannels>;
// UsageError for a layer without a name, or one that makes names longer than LongestChannelName.
ResultNames resultNames(const std::optional<std::string>& layer);

// A view of a multi-view file: its own channels take roles by their names within the view, the
// others none, and its results are named within the view as `results` names them.
struct ViewNames {
    std::vector<std::string> local; // each file channel's name within the view; empty for another's
    ResultNames results;
};

// Maps file channels: overrides first; a file's only channel, Y, as depth when there are none (a
// grey depth map, as depth estimators write); then the results' names, the usual names of depth and
// normals, then every other channel to the next free number from 13. UsageError for an override
// naming a channel the file lacks; RunError when the numbers run out.
ChannelMap mapChannels(const std::vector<std::string>& fileChannels,
                       const std::vector<ChannelOverride>& overrides, const std::string& file,
                       const ResultNames& results = resultNames(std::nullopt),
                       const ViewNames* view = nullptr);

} // namespace umbrix
