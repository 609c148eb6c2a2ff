// Depth in the conventions renderers and estimators write, converted to the planar depth the tool
// reads before it renders, the file's own depth written back as it was.

#include "app/Failure.h"
#include "app/core/FrameSource.h"
#include "app/core/Output.h"
#include "app/core/RenderWarnings.h"
#include "app/core/Tool.h"
#include "tests/app/ProgramTest.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace apptest {
namespace {

using umbrix::DepthConvention;
using Kind = DepthConvention::Kind;

constexpr float Inf = std::numeric_limits<float>::infinity();

TEST(DepthConventionText, ParsesWhatTheOptionTakes) {
    struct Case {
        const char* text;
        Kind kind;
        float nearDepth, farDepth;
    };
    for (const Case& c :
         std::vector<Case>{{"z", Kind::Z, 0, 0},
                           {"inverse", Kind::Inverse, 0, 0},
                           {"distance", Kind::Distance, 0, 0},
                           {"normalized:0.5:12", Kind::Normalized, 0.5f, 12},
                           {"normalized-inverted:-1: 3", Kind::NormalizedInverted, -1, 3}}) {
        SCOPED_TRACE(c.text);
        const DepthConvention parsed = umbrix::parseDepthConvention(c.text);
        EXPECT_EQ(parsed.kind, c.kind);
        EXPECT_EQ(parsed.nearDepth, c.nearDepth);
        EXPECT_EQ(parsed.farDepth, c.farDepth);
        const DepthConvention again =
            umbrix::parseDepthConvention(umbrix::depthConventionText(parsed));
        EXPECT_EQ(again.kind, parsed.kind);
        EXPECT_EQ(again.farDepth, parsed.farDepth);
    }
    for (const char* bad : {"", "Z", "inverse:1:2", "normalized", "normalized:1", "normalized:2:1",
                            "normalized:0:inf", "normalized:0:1:2", "normalized:a:1", "zdepth"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(umbrix::parseDepthConvention(bad), umbrix::UsageError);
    }
}

// A 3x2 frame, its display window the same. Distance with a screen window 6 wide centred on
// (0, 1): 2 screen units a pixel, the pixel centres at u = -2, 0, 2, and v = 2 on row 0, 0 on row
// 1 (y up on the screen, down in pixel space).
TEST(DepthConversion, ConvertsAsDocumented) {
    const std::vector<float> depth = {6.0f, 6.0f, 6.0f, 0.25f, 6.0f, -2.0f};
    const float root5 = std::sqrt(5.0f);
    struct Case {
        const char* convention;
        std::vector<float> planar;
    };
    const std::vector<Case> cases = {
        {"z", depth},
        {"inverse", {1.0f / 6.0f, 1.0f / 6.0f, 1.0f / 6.0f, 4.0f, 1.0f / 6.0f, -0.5f}},
        {"normalized:1:3", {13.0f, 13.0f, 13.0f, 1.5f, 13.0f, -3.0f}},
        {"normalized-inverted:1:3", {-9.0f, -9.0f, -9.0f, 2.5f, -9.0f, 7.0f}},
        {"distance", {2.0f, 6.0f / root5, 2.0f, 0.25f / root5, 6.0f, -2.0f / root5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.convention);
        const auto frame = umbrix::frameFromMemory({3, 2, depth, {}, {}});
        frame->screen = umbrix::ScreenWindow{6.0f, 0.0f, 1.0f};
        umbrix::convertDepth(*frame, umbrix::parseDepthConvention(c.convention), 45.0);
        std::vector<std::uint32_t> expected, actual;
        for (float value : c.planar)
            expected.push_back(bits(value));
        for (float value : umbrix::sourcePixels(*frame, {umbrix::DepthChannel}))
            actual.push_back(bits(value));
        EXPECT_EQ(actual, expected);
    }
}

// Without a screen window, CamFOV spans the display window's width: at 90 degrees the edges of a
// 2-pixel-wide frame are 1 screen unit from its axis, the pixel centres half that.
TEST(DepthConversion, DistanceWithoutACameraTakesCamFov) {
    const auto frame = umbrix::frameFromMemory({2, 1, std::vector<float>{3.0f, 3.0f}, {}, {}});
    const umbrix::DepthCamera camera = umbrix::depthCamera(*frame, 90.0);
    const float half = static_cast<float>(90.0 * 0.017453292519943295) * 0.5f;
    EXPECT_EQ(camera.camera.perPixel, 2.0f * std::tan(half) / 2.0f);
    EXPECT_NE(camera.source.find("CamFOV=90"), std::string::npos) << camera.source;
    umbrix::convertDepth(*frame, {Kind::Distance, 0, 0}, 90.0);
    const float u = 0.5f * camera.camera.perPixel;
    const float planar = 3.0f / std::sqrt(1.0f + u * u + 0.0f);
    EXPECT_EQ(umbrix::sourcePixels(*frame, {umbrix::DepthChannel}),
              (std::vector<float>{planar, planar}));
}

class DepthFiles : public ::testing::Test {
  protected:
    ScratchFolder Folder;

    std::shared_ptr<umbrix::Frame> loaded(const std::string& name) {
        std::shared_ptr<umbrix::Frame> frame =
            umbrix::openFrame(Folder.path(name), umbrix::OpenOptions{});
        umbrix::loadFrame(*frame);
        return frame;
    }
};

// The tool renders the converted depth; the written file's depth channel holds the input's bits,
// whether the file stores it as float or half.
TEST_F(DepthFiles, TheOutputKeepsTheFilesDepth) {
    const umbrix::Tool tool(UMBRIX_PLUGIN_PATH);
    umbrix::ControlValues look = tool.defaults();
    for (const char* setting : {"UseSSAO=1", "Matrix=2", "DepthThreshold=2"})
        look.applySetting(setting);
    for (const OIIO::TypeDesc type : {OIIO::TypeDesc::FLOAT, OIIO::TypeDesc::HALF}) {
        SCOPED_TRACE(type.c_str());
        FileData scene = sceneFile(12, 8, usualChannels());
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 12; ++x)
                scene.at(x, y, "Z") = static_cast<float>((x * 7 + y * 3) % 16) / 16.0f;
        writeFile(Folder.path("in.exr"), scene, type);
        const auto frame = loaded("in.exr");
        const std::vector<float> fileDepth = umbrix::sourcePixels(*frame, {umbrix::DepthChannel});
        umbrix::convertDepth(*frame, umbrix::parseDepthConvention("normalized:2:4"), 45.0);
        std::vector<float> planar = fileDepth;
        for (float& d : planar)
            d = 2.0f + d * 2.0f;
        EXPECT_EQ(umbrix::sourcePixels(*frame, {umbrix::DepthChannel}), planar);

        const std::string out = Folder.path("out.exr");
        umbrix::Rendered result = tool.render(frame, look);
        umbrix::writeResult(out, umbrix::formatOf(out), result, {}, look);
        EXPECT_TRUE(sameChannelBits(readFile(Folder.path("in.exr")), readFile(out), {"Z"}));
        const auto same =
            umbrix::frameFromMemory({12, 8, planar, umbrix::sourcePixels(*frame, {10, 11, 12}),
                                     umbrix::sourcePixels(*frame, {0, 1, 2, 3})});
        EXPECT_EQ(umbrix::resultPixels(result), umbrix::resultPixels(tool.render(same, look)));
    }
}

// EXR's screen window is the file's camera; the one OpenEXR asks for when there is none is not.
TEST_F(DepthFiles, TheScreenWindowIsTheCamera) {
    FileData data = makeFile(2, 2, {"Z"}, [](int, int, int) { return 5.0f; });
    writeFile(Folder.path("plain.exr"), data);
    EXPECT_FALSE(loaded("plain.exr")->screen);
    data.header.attribute("screenWindowWidth", 0.5f);
    const float centre[2] = {0.25f, -1.0f};
    data.header.attribute("screenWindowCenter",
                          OIIO::TypeDesc(OIIO::TypeDesc::FLOAT, OIIO::TypeDesc::VEC2), centre);
    writeFile(Folder.path("camera.exr"), data);
    const auto frame = loaded("camera.exr");
    ASSERT_TRUE(frame->screen);
    EXPECT_EQ(frame->screen->width, 0.5f);
    EXPECT_EQ(frame->screen->centreX, 0.25f);
    EXPECT_EQ(frame->screen->centreY, -1.0f);
    EXPECT_NE(umbrix::depthCamera(*frame, 45.0).source.find("screen window (width 0.5"),
              std::string::npos);
}

// A 16-bit grey PNG, as depth estimators write: its one channel is the depth, warned about, and
// reads as the stored value over 65535.
TEST_F(DepthFiles, AGreyPngIsADepthMap) {
    FileData map = makeFile(4, 3, {"Y"}, [](int x, int y, int) {
        return static_cast<float>(x * 1000 + y * 20000) / 65535.0f;
    });
    writeFile(Folder.path("depth.png"), map, OIIO::TypeDesc::UINT16);
    const auto frame = loaded("depth.png");
    ASSERT_EQ(frame->channels.size(), 1u);
    EXPECT_EQ(frame->channels[0].number, umbrix::DepthChannel);
    const umbrix::Tool tool(UMBRIX_PLUGIN_PATH);
    const umbrix::Warnings warnings = umbrix::channelWarnings(*frame, "depth.png", tool.defaults());
    ASSERT_FALSE(warnings.empty());
    EXPECT_EQ(warnings.front().kind, umbrix::Warning::Kind::DepthFromOnlyChannel);
    EXPECT_EQ(warnings.front().text, "depth.png: its only channel, Y, is taken as the depth (a "
                                     "depth map); say how it measures depth with --depth");
    const std::vector<float> depth = umbrix::sourcePixels(*frame, {umbrix::DepthChannel});
    EXPECT_EQ(depth[5], 21000.0f / 65535.0f);
    EXPECT_EQ(umbrix::depthWarnings(*frame, "depth.png", {})[0].kind,
              umbrix::Warning::Kind::DepthWithinUnit);
    const auto mapped = umbrix::openFrame(Folder.path("depth.png"), {std::nullopt, {"Y=20"}, {}});
    EXPECT_FALSE(mapped->map.depthIsOnlyChannel) << "--map says where it goes";
}

TEST(DepthWarnings, FlagOnlyPlanarDepthWithinTheUnitRange) {
    struct Case {
        const char* what;
        std::vector<float> depth;
        const char* convention;
        bool warned;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<Case> cases = {
        {"within", {0.0f, 0.5f, 1.0f, nan}, "z", true},
        {"infinite background aside", {0.25f, Inf, -Inf, 0.75f}, "z", true},
        {"one value beyond", {0.25f, 0.5f, 0.75f, 1.5f}, "z", false},
        {"one value below", {0.25f, 0.5f, -0.25f, 1.0f}, "z", false},
        {"nothing finite", {nan, Inf, nan, Inf}, "z", false},
        {"said to be normalised", {0.0f, 0.5f, 1.0f, 0.5f}, "normalized:1:2", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto frame = umbrix::frameFromMemory({2, 2, c.depth, {}, {}});
        const umbrix::Warnings warnings =
            umbrix::depthWarnings(*frame, "f.exr", umbrix::parseDepthConvention(c.convention));
        ASSERT_EQ(warnings.size(), c.warned ? 1u : 0u);
        if (c.warned) {
            EXPECT_NE(warnings[0].text.find("--depth"), std::string::npos);
        }
    }
}

} // namespace
} // namespace apptest
