// What a pipeline can ask of the written channels, in oiiotool's words: --layer, --ch, -d,
// --compression, --clamp, and what every EXR says of how it was made.

#include "tests/app/ProgramTest.h"

#include <Imath/half.h>
#include <cmath>
#include <fmt/format.h>
#include <string>
#include <vector>

namespace apptest {
namespace {

class OutputOptions : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        FileData source = sceneFile(9, 7, usualChannels());
        source.header.attribute("Shot", "ab_010");
        // Another tool's idea of one of ours, of another type: ours replaces it.
        source.header.attribute("umbrix:Amount", "a lot");
        writeFile(Folder.path("in.exr"), source);
        ASSERT_EQ(render("default.exr", {}).status, 0);
        Default = readFile(Folder.path("default.exr"));
        In = readFile(Folder.path("in.exr"));
    }

    // Occlusion on, with an amount that takes it below 0 in places.
    Outcome render(const std::string& output, const std::vector<std::string>& options) {
        std::vector<std::string> args = {
            "render",          Folder.path("in.exr"), "-o",    Folder.path(output), "-q",
            "--set",           "UseSSAO=1",           "--set", "Amount=0.2",        "--set",
            "DepthThreshold=2"};
        args.insert(args.end(), options.begin(), options.end());
        return inProcess(args);
    }

    // Channel `name` of `file` equal to the bit to channel `from` of `expected`.
    ::testing::AssertionResult sameAs(const FileData& file, const std::string& name,
                                      const FileData& expected, const std::string& from) {
        for (int y = 0; y < file.header.height; ++y)
            for (int x = 0; x < file.header.width; ++x)
                if (bits(file.at(x, y, name)) != bits(expected.at(x, y, from)))
                    return ::testing::AssertionFailure()
                           << name << " at (" << x << ", " << y << ") differs from " << from;
        return ::testing::AssertionSuccess();
    }

    static OIIO::TypeDesc typeOf(const FileData& file, const std::string& name) {
        const int c = file.channel(name);
        return file.header.channelformats.empty()
                   ? file.header.format
                   : file.header.channelformats[static_cast<std::size_t>(c)];
    }

    FileData Default;
    FileData In;
};

TEST_F(OutputOptions, LayerWritesTheResultsBesideTheBeauty) {
    ASSERT_EQ(render("out.exr", {"--layer", "ssao"}).status, 0);
    const FileData out = readFile(Folder.path("out.exr"));
    for (const char* c : {"R", "G", "B", "A"}) {
        EXPECT_TRUE(sameAs(out, c, In, c));
        EXPECT_TRUE(sameAs(out, std::string("ssao.") + c, Default, c));
    }
    // Rendered again under the same layer, the results take their own place.
    ASSERT_EQ(inProcess({"render", Folder.path("out.exr"), "-o", Folder.path("again.exr"), "-q",
                         "--layer", "ssao"})
                  .status,
              0);
    EXPECT_EQ(readFile(Folder.path("again.exr")).header.nchannels, out.header.nchannels);
}

TEST_F(OutputOptions, ChannelsChosenRenamedAndTyped) {
    ASSERT_EQ(render("out.exr", {"--ch", "R,G,B,AO=A,Z", "-d", "half", "-d", "Z=half"}).status, 0);
    const FileData out = readFile(Folder.path("out.exr"));
    EXPECT_EQ(out.header.nchannels, 5);
    for (const char* c : {"R", "G", "B", "AO", "Z"}) {
        EXPECT_EQ(typeOf(out, c), OIIO::TypeDesc::HALF) << c;
        const std::string from = std::string(c) == "AO" ? "A" : c;
        const FileData& expected = from == "Z" ? In : Default;
        for (int y = 0; y < out.header.height; ++y)
            for (int x = 0; x < out.header.width; ++x)
                ASSERT_EQ(Imath::half(out.at(x, y, c)).bits(),
                          Imath::half(expected.at(x, y, from)).bits())
                    << c << " at (" << x << ", " << y << ")";
    }
    ASSERT_EQ(render("one.exr", {"--layer", "ssao", "--ch", "ssao.A"}).status, 0);
    const FileData one = readFile(Folder.path("one.exr"));
    EXPECT_EQ(one.header.channelnames, std::vector<std::string>{"ssao.A"});
    EXPECT_EQ(typeOf(one, "ssao.A"), OIIO::TypeDesc::FLOAT);
    EXPECT_TRUE(sameAs(one, "ssao.A", Default, "A"));
}

TEST_F(OutputOptions, CompressionAsAskedAndALossyOneWarnsOnce) {
    struct Case {
        const char* asked;
        const char* read; // as OpenImageIO names it
        bool lossy;
    };
    for (const Case& c :
         {Case{"none", "none", false}, Case{"rle", "rle", false}, Case{"zips", "zips", false},
          Case{"zip:9", "zip", false}, Case{"piz", "piz", false}, Case{"dwab:30", "dwab", true}}) {
        const Outcome run = render("out.exr", {"--compression", c.asked});
        ASSERT_EQ(run.status, 0) << run.err;
        const FileData out = readFile(Folder.path("out.exr"));
        // The name without the level or quality OpenImageIO appends.
        const std::string read = out.header.get_string_attribute("compression");
        EXPECT_EQ(read.substr(0, read.find(':')), c.read) << c.asked;
        EXPECT_EQ(run.err.find("lossy") != std::string::npos, c.lossy) << run.err;
        if (!c.lossy) {
            EXPECT_TRUE(sameChannelBits(Default, out, Default.header.channelnames)) << c.asked;
        }
    }
}

// Occlusion below 0 is written as 0; a NaN stays the same NaN.
TEST_F(OutputOptions, ClampLimitsOnlyTheWrittenOcclusion) {
    bool below = false;
    bool nan = false;
    // A NaN threshold makes the falloff, and so the occlusion, NaN wherever a neighbour counts.
    for (const char* threshold : {"DepthThreshold=2", "DepthThreshold=nan"}) {
        SCOPED_TRACE(threshold);
        ASSERT_EQ(render("tool.exr", {"--set", threshold}).status, 0);
        ASSERT_EQ(render("out.exr", {"--set", threshold, "--clamp"}).status, 0);
        const FileData tool = readFile(Folder.path("tool.exr"));
        const FileData out = readFile(Folder.path("out.exr"));
        for (int y = 0; y < out.header.height; ++y)
            for (int x = 0; x < out.header.width; ++x) {
                const float value = tool.at(x, y, "A");
                below = below || value < 0.0f;
                nan = nan || std::isnan(value);
                EXPECT_EQ(bits(out.at(x, y, "A")), bits(value < 0.0f ? 0.0f : value));
            }
        EXPECT_TRUE(sameChannelBits(tool, out, {"R", "G", "B", "Z"}));
    }
    EXPECT_TRUE(below) << "the scene's occlusion never goes below 0: nothing was clamped";
    EXPECT_TRUE(nan) << "the occlusion is never NaN: no NaN went through the clamp";
}

// Every control stamped under its own name, each with a value no other control and no default has.
TEST_F(OutputOptions, TheOutputSaysHowItWasMade) {
    const std::vector<std::pair<const char*, double>> stamps = {{"UseNormals", 0},
                                                                {"UseSSAO", 1},
                                                                {"FilterMethod", 2},
                                                                {"Matrix", 7},
                                                                {"Amount", 0.2},
                                                                {"SmalDepth", 0.03},
                                                                {"DepthThreshold", 2.5},
                                                                {"NormalsAngleControll", 40},
                                                                {"NormalsZControll", 0.06},
                                                                {"CamFOV", 50}};
    std::vector<std::string> settings;
    for (const auto& [id, value] : stamps)
        settings.insert(settings.end(), {"--set", fmt::format("{}={}", id, value)});
    ASSERT_EQ(render("out.exr", settings).status, 0);
    const OIIO::ImageSpec& header = readFile(Folder.path("out.exr")).header;
    EXPECT_EQ(header.get_string_attribute("Software"), "umbrix " UMBRIX_VERSION);
    EXPECT_EQ(header.get_string_attribute("DateTime").size(), 19u);
    EXPECT_EQ(header.get_string_attribute("Shot"), "ab_010");
    for (const auto& [id, value] : stamps)
        EXPECT_EQ(stampedValue(header, id), value) << id;
    EXPECT_EQ(header.find_attribute("umbrix:About"), nullptr);
}

TEST_F(OutputOptions, BadNamesAndTypesAreUsageErrorsAndWriteNothing) {
    const std::vector<std::vector<std::string>> calls = {
        {"--ch", "R,Q"},
        {"--ch", "R,,G"},
        {"--ch", "R,R"},
        {"-d", "double"},
        {"-d", "Q=half"},
        {"--compression", "lzma"},
        {"--compression", "zip:0"},
        {"--compression", "piz:3"},
        {"--layer", ""},
        // EXR readers need take no name beyond 255 bytes.
        {"--ch", "R,G,B," + std::string(256, 'o') + "=A"},
        {"--layer", std::string(254, 'l')},
    };
    for (const auto& call : calls) {
        const Outcome run = render("bad.exr", call);
        EXPECT_EQ(run.status, 2) << call[1];
        EXPECT_TRUE(isMessage(run.err, {call[0]})) << run.err;
        EXPECT_LT(run.err.size(), 500u) << "the message quotes too much of the input";
    }
    const Outcome unknown = render("bad.exr", {"--ch", "R,Q"});
    EXPECT_TRUE(isMessage(unknown.err, {"'Q'", "R G B A N.X N.Y N.Z Z"}));
    EXPECT_EQ(Folder.entries(), (std::vector<std::string>{"default.exr", "in.exr"}));
}

} // namespace
} // namespace apptest
