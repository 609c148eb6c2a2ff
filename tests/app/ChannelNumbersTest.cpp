#include "app/Failure.h"
#include "app/images/ChannelMap.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace umbrix;

namespace {

TEST(ChannelNumbers, MappingFollowsOverridesThenResultsThenUsualNames) {
    struct PassedOver {
        int number;
        std::string name;
        bool operator==(const PassedOver&) const = default;
    };
    struct Case {
        const char* what;
        std::vector<std::string> channels;
        std::vector<ChannelOverride> overrides;
        std::optional<std::string> layer;
        std::vector<int> numbers;
        std::vector<PassedOver> passedOver;
        bool hasDepth;
    };
    const std::vector<Case> cases = {
        {"a layer's results take 0-3 and the file's own are carried",
         {"R", "G", "B", "A", "beauty.R", "beauty.G", "beauty.B", "beauty.A", "Z"},
         {},
         "beauty",
         {13, 14, 15, 16, 0, 1, 2, 3, 4},
         {},
         true},
        {"a second usual depth is passed over",
         {"Z", "depth.Z"},
         {},
         {},
         {4, 13},
         {{4, "depth.Z"}},
         true},
        {"a depth picked with --map passes over nothing",
         {"Z", "depth.Z"},
         {{"depth.Z", DepthChannel}},
         {},
         {13, 4},
         {},
         true},
        {"moving the depth away leaves none", {"Z", "N.X"}, {{"Z", 40}}, {}, {40, 10}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ChannelMap map = mapChannels(c.channels, c.overrides, "in.exr", resultNames(c.layer));
        EXPECT_EQ(map.numbers, c.numbers);
        std::vector<PassedOver> passedOver;
        for (const ChannelMap::PassedOver& other : map.passedOver)
            passedOver.push_back({other.number, other.name});
        EXPECT_EQ(passedOver, c.passedOver);
        EXPECT_EQ(map.hasDepth, c.hasDepth);
    }
}

TEST(ChannelNumbers, NumbersRunOutAfterTheLastFreeOne) {
    std::vector<std::string> channels;
    for (int k = FirstFreeChannel; k < ChannelCount; ++k)
        channels.push_back(fmt::format("c{}", k));
    EXPECT_EQ(mapChannels(channels, {}, "in.exr").numbers.back(), ChannelCount - 1);
    channels.push_back("one.more");
    try {
        mapChannels(channels, {}, "in.exr");
        ADD_FAILURE() << "mapped";
    } catch (const RunError& e) {
        EXPECT_STREQ(e.what(), "in.exr: too many channels (116); the tool takes at most 128");
    }
}

TEST(ChannelNumbers, OverridesParseNumbersAndRoles) {
    struct Case {
        const char* text;
        std::string name;
        int number;
    };
    for (const Case& c : {Case{"Z=depth", "Z", 4}, Case{"nrm.y= Normal.Y", "nrm.y", 11},
                          Case{"P=127", "P", 127}, Case{"P=0", "P", 0}}) {
        SCOPED_TRACE(c.text);
        const ChannelOverride parsed = parseChannelOverride(c.text);
        EXPECT_EQ(parsed.name, c.name);
        EXPECT_EQ(parsed.number, c.number);
    }
    const std::string range = ": the channel number must be a whole number from 0 to 127, or a "
                              "role: depth, normal.x, normal.y, normal.z";
    struct Bad {
        const char* text;
        std::string message;
    };
    for (const Bad& c : {Bad{"Z", "--map Z: expected NAME=NUMBER or NAME=ROLE"},
                         Bad{"Z=128", fmt::format("--map Z=128{}", range)},
                         Bad{"Z=-1", fmt::format("--map Z=-1{}", range)},
                         Bad{"Z=4.5", fmt::format("--map Z=4.5{}", range)},
                         Bad{"Z=normal", fmt::format("--map Z=normal{}", range)}}) {
        SCOPED_TRACE(c.text);
        try {
            parseChannelOverride(c.text);
            ADD_FAILURE() << "parsed";
        } catch (const UsageError& e) {
            EXPECT_EQ(e.what(), c.message);
        }
    }
}

} // namespace
