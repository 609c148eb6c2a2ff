// Output files as tools we did not write see them, and formats that cannot hold every channel.

#include "tests/app/ProgramTest.h"

#include <string>
#include <vector>

namespace apptest {
namespace {

class OutputFormat : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        auto channels = usualChannels();
        channels.push_back({"extra", Role::Other});
        writeFile(Folder.path("in.exr"), sceneFile(8, 6, channels));
    }

    Outcome renderTo(const std::string& name) {
        return inProcess({"render", Folder.path("in.exr"), "-o", Folder.path(name)});
    }
};

TEST_F(OutputFormat, OiiotoolSeesEveryChannelAsFloat) {
    ASSERT_EQ(renderTo("out.exr").status, 0);
    const Outcome info = runProgram("oiiotool", {"--info", "-v", Folder.path("out.exr")});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("8 x    6, 9 channel, float openexr"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("channel list: R, G, B, A, Z, extra, N.X, N.Y, N.Z"), std::string::npos)
        << info.out;
}

TEST_F(OutputFormat, IinfoSeesEveryChannelAsFloat) {
    ASSERT_EQ(renderTo("out.exr").status, 0);
    const Outcome info = runProgram("iinfo", {"-v", Folder.path("out.exr")});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("9 channel, float openexr"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("channel list: R, G, B, A, Z, extra, N.X, N.Y, N.Z"), std::string::npos)
        << info.out;
}

TEST_F(OutputFormat, OtherFormatsKeepRGBAWithAWarning) {
    const Outcome run = renderTo("out.tif");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(
        isMessage(run.err, {"warning", "out.tif", "R G B A", "dropped N.X N.Y N.Z Z extra"}));
    const Outcome info = runProgram("iinfo", {"-v", Folder.path("out.tif")});
    EXPECT_NE(info.out.find("channel list: R, G, B, A\n"), std::string::npos) << info.out;
    // What the format can hold is the tool's result, unchanged.
    ASSERT_EQ(renderTo("out.exr").status, 0);
    EXPECT_TRUE(sameChannelBits(readFile(Folder.path("out.exr")), readFile(Folder.path("out.tif")),
                                {"R", "G", "B", "A"}));
}

TEST_F(OutputFormat, FormatsWithoutAlphaDropItToo) {
    const Outcome run = renderTo("out.jpg");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(isMessage(run.err, {"warning", "out.jpg", "R G B only", "dropped A N.X"}));
    EXPECT_EQ(readFile(Folder.path("out.jpg")).header.nchannels, 3);
}

TEST_F(OutputFormat, OnlyOtherFormatsLoadTheFormatsModule) {
    // The module brings hundreds of libraries: an EXR run must start without them.
    const auto loads = [&](const std::string& output) {
        const Outcome run = umbrix({"render", Folder.path("in.exr"), "-o", Folder.path(output)},
                                   {"LD_DEBUG=files"});
        EXPECT_EQ(run.status, 0);
        return run.err.find("umbrix-formats.so") != std::string::npos;
    };
    EXPECT_FALSE(loads("out.exr"));
    EXPECT_TRUE(loads("out.tif"));
}

TEST_F(OutputFormat, NoTemporaryFileIsLeft) {
    ASSERT_EQ(renderTo("out.exr").status, 0);
    ASSERT_EQ(renderTo("out.exr").status, 0);
    EXPECT_EQ(Folder.entries(), (std::vector<std::string>{"in.exr", "out.exr"}));
}

} // namespace
} // namespace apptest
