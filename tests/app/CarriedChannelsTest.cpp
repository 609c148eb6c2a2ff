// Channels the tool does not write leave the program as they came: name, bits, place.

#include "tests/app/ProgramTest.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace apptest {
namespace {

using CarriedChannels = ProgramTest;

// Values a careless conversion would change: signed zeros, NaN payloads, infinities, subnormals.
float awkward(int index) {
    const std::uint32_t patterns[] = {0x80000000u, 0x00000000u, 0x7fc00001u, 0xffc12345u,
                                      0x7f800001u, 0x7f800000u, 0xff800000u, 0x00000001u,
                                      0x807fffffu, 0x7f7fffffu, 0x3eaaaaabu, 0xc2f6e979u};
    return std::bit_cast<float>(patterns[static_cast<std::size_t>(index) % std::size(patterns)]);
}

TEST_F(CarriedChannels, KeepNameAndBitsWhereTheToolDoesNotWrite) {
    // Normals only: the tool writes channels 0-2 and carries the rest.
    const FileData source =
        makeFile(9, 7, {"R", "G", "B", "A", "Z", "N.X", "N.Y", "N.Z", "crypto.id", "header.R"},
                 [](int x, int y, int c) {
                     if (c == 4)
                         return 1.0f + 0.25f * static_cast<float>(x * y);
                     return awkward(x + 3 * y + 5 * c);
                 });
    writeFile(Folder.path("in.exr"), source);
    const Outcome run = inProcess({"render", Folder.path("in.exr"), "-o", Folder.path("out.exr")});
    ASSERT_EQ(run.status, 0) << run.err;
    const FileData out = readFile(Folder.path("out.exr"));
    EXPECT_EQ(out.header.channelnames, source.header.channelnames);
    EXPECT_TRUE(
        sameChannelBits(source, out, {"A", "Z", "N.X", "N.Y", "N.Z", "crypto.id", "header.R"}));
}

TEST_F(CarriedChannels, DataWindowKeepsItsPlaceInTheDisplayWindow) {
    FileData source = makeFile(6, 4, {"R", "G", "B", "A", "Z", "mask"}, [](int x, int y, int c) {
        return static_cast<float>(c) + 0.5f * static_cast<float>(x) - 0.25f * static_cast<float>(y);
    });
    source.header.x = 3;
    source.header.y = 2;
    source.header.full_x = 0;
    source.header.full_y = 0;
    source.header.full_width = 16;
    source.header.full_height = 12;
    writeFile(Folder.path("in.exr"), source);
    const Outcome run = inProcess({"render", Folder.path("in.exr"), "-o", Folder.path("out.exr")});
    ASSERT_EQ(run.status, 0) << run.err;
    const FileData out = readFile(Folder.path("out.exr"));
    EXPECT_EQ(out.header.x, 3);
    EXPECT_EQ(out.header.y, 2);
    EXPECT_EQ(out.header.width, 6);
    EXPECT_EQ(out.header.height, 4);
    EXPECT_EQ(out.header.full_width, 16);
    EXPECT_EQ(out.header.full_height, 12);
    EXPECT_TRUE(sameChannelBits(source, out, {"A", "Z", "mask"}));
}

TEST_F(CarriedChannels, DataWindowIsWhatTheToolRenders) {
    // The tool sees the data window alone: the same pixels at the origin render alike.
    FileData placed = sceneFile(10, 8, {{"Z", Role::Depth}, {"A", Role::Alpha}});
    FileData atOrigin = placed;
    placed.header.x = 5;
    placed.header.y = 7;
    placed.header.full_width = 30;
    placed.header.full_height = 20;
    writeFile(Folder.path("placed.exr"), placed);
    writeFile(Folder.path("origin.exr"), atOrigin);
    for (const char* name : {"placed", "origin"}) {
        const Outcome run =
            inProcess({"render", Folder.path(std::string(name) + ".exr"), "-o",
                       Folder.path(std::string(name) + "-out.exr"), "--set", "UseSSAO=1"});
        ASSERT_EQ(run.status, 0) << run.err;
    }
    EXPECT_TRUE(sameChannelBits(readFile(Folder.path("origin-out.exr")),
                                readFile(Folder.path("placed-out.exr")),
                                {"R", "G", "B", "A", "Z"}));
}

} // namespace
} // namespace apptest
