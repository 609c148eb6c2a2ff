// --preview: an 8-bit picture, normals beside occlusion, NaN in a colour that stands out.

#include "tests/app/ProgramTest.h"

#include <cmath>
#include <string>
#include <vector>

namespace apptest {
namespace {

class Preview : public ProgramTest {
  protected:
    // Renders `source` with `settings`, writing out.exr and preview.png; both read back.
    std::pair<FileData, FileData> render(const FileData& source,
                                         const std::vector<std::string>& settings = {}) {
        writeFile(Folder.path("in.exr"), source);
        std::vector<std::string> args = {
            "render",    Folder.path("in.exr"),      "-o", Folder.path("out.exr"),
            "--preview", Folder.path("preview.png"), "-q"};
        args.insert(args.end(), settings.begin(), settings.end());
        const Outcome run = inProcess(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return {readFile(Folder.path("out.exr")), readFile(Folder.path("preview.png"))};
    }
};

float byteOf(float unit) {
    return std::round(std::fmin(std::fmax(unit, 0.0f), 1.0f) * 255.0f);
}

float byteAt(const FileData& picture, int x, int y, int channel) {
    return std::round(
        picture.at(x, y, picture.header.channelnames[static_cast<std::size_t>(channel)]) * 255.0f);
}

TEST_F(Preview, IsTwiceAsWideAndEightBitRGB) {
    const auto [out, preview] = render(sceneFile(7, 5, {{"Z", Role::Depth}}));
    EXPECT_EQ(preview.header.width, 14);
    EXPECT_EQ(preview.header.height, 5);
    EXPECT_EQ(preview.header.nchannels, 3);
    EXPECT_EQ(preview.header.format, OIIO::TypeDesc::UINT8);
}

TEST_F(Preview, NormalsLeftOcclusionRight) {
    const auto [out, preview] =
        render(sceneFile(9, 6, {{"Z", Role::Depth}, {"N.X", Role::NormalX}}),
               {"--set", "UseSSAO=1", "--set", "Amount=0.2", "--set", "FilterMethod=2"});
    const int width = out.header.width;
    bool occluded = false;
    for (int y = 0; y < out.header.height; ++y)
        for (int x = 0; x < width; ++x) {
            // The result holds the normal as z, y, x in R, G, B; the picture shows x, y, z.
            const float normal[3] = {out.at(x, y, "B"), out.at(x, y, "G"), out.at(x, y, "R")};
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(byteAt(preview, x, y, c), byteOf((normal[c] + 1.0f) * 0.5f))
                    << "normal at (" << x << ", " << y << ")";
            const float grey = byteOf(out.at(x, y, "A"));
            occluded = occluded || grey < 255.0f;
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(byteAt(preview, width + x, y, c), grey)
                    << "occlusion at (" << x << ", " << y << ")";
        }
    EXPECT_TRUE(occluded);
}

TEST_F(Preview, NaNIsMagenta) {
    // Narrower than tall with even depth: the calculated normal is 0/0 everywhere.
    const auto [out, preview] =
        render(makeFile(1, 3, {"Z", "A"}, [](int, int, int c) { return c == 0 ? 4.0f : NAN; }));
    for (int y = 0; y < 3; ++y) {
        ASSERT_TRUE(std::isnan(out.at(0, y, "R")));
        for (int x : {0, 1}) {
            EXPECT_EQ(byteAt(preview, x, y, 0), 255.0f);
            EXPECT_EQ(byteAt(preview, x, y, 1), 0.0f);
            EXPECT_EQ(byteAt(preview, x, y, 2), 255.0f);
        }
    }
}

} // namespace
} // namespace apptest
