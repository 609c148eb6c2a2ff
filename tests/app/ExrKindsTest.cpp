// The EXR kinds renderers write — per-channel pixel types, compressions lossless and lossy, tiles,
// MIP levels, several parts — come out with the tool's results and nothing else changed.

#include "tests/app/ExrFiles.h"
#include "tests/app/ProgramTest.h"

#include <cmath>
#include <string>
#include <vector>

namespace apptest {
namespace {

const std::vector<Setting>& Occlusion = occlusionWithNormals();

int numberOf(const std::string& name) {
    const std::vector<std::string> known = {"R", "G", "B", "A", "Z"};
    for (int k = 0; k < 5; ++k)
        if (name == known[static_cast<std::size_t>(k)])
            return k;
    if (name == "N.X" || name == "N.Y" || name == "N.Z")
        return 10 + (name.back() - 'X');
    return -1;
}

// The part as floats, with the channel numbers the program gives its channels the tool reads.
FileData floatsOf(const ExrPart& part, std::vector<int>& numbers) {
    std::vector<std::string> names;
    for (const ExrChannel& channel : part.channels)
        if (numberOf(channel.name) >= 0) {
            names.push_back(channel.name);
            numbers.push_back(numberOf(channel.name));
        }
    return makeFile(part.width(), part.height(), names, [&](int x, int y, int c) {
        const ExrChannel& channel = *part.channel(names[static_cast<std::size_t>(c)]);
        return sampleValue(channel.type,
                           channel.bits[static_cast<std::size_t>(y * part.width() + x)]);
    });
}

// A scene with depth, normals and colour in the given types, a uint ID of every size and a half
// channel of awkward bits (NaN payloads, signed zero, infinity, subnormals).
ExrPart scenePart(int width, int height, Imath::V2i origin, Imf::PixelType colour,
                  Imf::PixelType depth, Imf::PixelType normal) {
    const FileData scene = sceneFile(width, height, usualChannels());
    ExrPart part = exrPart(width, height, origin);
    for (const std::string& name : scene.header.channelnames) {
        const Imf::PixelType type = name.size() == 1 ? (name == "Z" ? depth : colour) : normal;
        addChannel(part, name, type, [&](int x, int y) { return scene.at(x, y, name); });
    }
    addChannel(part, "id", Imf::UINT, [](int x, int y) {
        return static_cast<double>((static_cast<std::uint32_t>(x) * 2654435761u) ^
                                   (static_cast<std::uint32_t>(y) * 40503u) ^ 0xffff0000u);
    });
    ExrChannel mask{"mask", Imf::HALF, {}, {}};
    const std::uint32_t awkward[] = {0x7e01, 0xfe55, 0x8000, 0x0000,
                                     0x7c00, 0xfc00, 0x0001, 0x83ff};
    for (int i = 0; i < width * height; ++i)
        mask.bits.push_back(awkward[static_cast<std::size_t>(i) % std::size(awkward)]);
    part.channels.push_back(mask);
    return part;
}

::testing::AssertionResult sameBits(const ExrChannel* expected, const ExrChannel* actual) {
    if (!expected || !actual)
        return ::testing::AssertionFailure() << "channel missing";
    if (actual->type != expected->type)
        return ::testing::AssertionFailure()
               << actual->name << " has type " << actual->type << ", not " << expected->type;
    if (actual->bits != expected->bits)
        return ::testing::AssertionFailure() << actual->name << " differs";
    return ::testing::AssertionSuccess();
}

class ExrKinds : public ProgramTest {
  protected:
    // The rendered part: the tool's results as floats, equal to the bit to the tool's in-process
    // render of what the input holds (R G B A whether or not it has them), and every other channel
    // as the input holds it.
    void expectRendered(const ExrPart& in, const ExrPart& out) {
        std::vector<int> numbers;
        const FileData floats = floatsOf(in, numbers);
        const minihost::ImagePtr expected = renderInProcess(floats, numbers, Occlusion);
        ASSERT_EQ(out.dataWindow, in.dataWindow);
        ASSERT_EQ(out.displayWindow, in.displayWindow);
        for (const ExrChannel& channel : in.channels)
            if (numberOf(channel.name) < 0 || numberOf(channel.name) > 3) {
                EXPECT_TRUE(sameBits(&channel, out.channel(channel.name)));
            }
        for (const std::string name : {"R", "G", "B", "A"}) {
            const ExrChannel* result = out.channel(name);
            ASSERT_TRUE(result) << name;
            EXPECT_EQ(result->type, Imf::FLOAT) << name;
            for (int y = 0; y < in.height(); ++y)
                for (int x = 0; x < in.width(); ++x)
                    ASSERT_EQ(result->bits[static_cast<std::size_t>(y * in.width() + x)],
                              bits(minihost::sample(*expected, x, y, numberOf(name))))
                        << name << " at (" << x << ", " << y << ")";
        }
    }

    // A part copied: as the input stores it, every channel of every level.
    static void expectCopied(const ExrPart& in, const ExrPart& out) {
        EXPECT_EQ(out.name, in.name);
        EXPECT_EQ(out.compression, in.compression);
        EXPECT_EQ(out.levels, in.levels);
        ASSERT_EQ(out.channels.size(), in.channels.size()) << in.name;
        for (const ExrChannel& channel : in.channels) {
            const ExrChannel* copy = out.channel(channel.name);
            EXPECT_TRUE(sameBits(&channel, copy)) << in.name;
            EXPECT_TRUE(copy && copy->lowerLevels == channel.lowerLevels) << channel.name;
        }
    }

    Outcome render(const std::vector<std::string>& extra) {
        std::vector<std::string> args = {"render", Folder.path("in.exr"), "-o",
                                         Folder.path("out.exr"), "-q"};
        for (const auto& list : {setArguments(Occlusion), extra})
            args.insert(args.end(), list.begin(), list.end());
        return inProcess(args);
    }
};

struct Kind {
    const char* what;
    Imf::Compression compression;
    int tileSize;
    bool mipmap;
    Imf::PixelType colour, depth, normal;
    Imath::V2i origin;
    const char* threads;
    Imf::Compression written; // lossy compression gives way to zip
};

TEST_F(ExrKinds, OnePartOfEveryKindKeepsWhatTheToolDoesNotWrite) {
    const Kind kinds[] = {
        {"zip scanlines",
         Imf::ZIP_COMPRESSION,
         0,
         false,
         Imf::HALF,
         Imf::FLOAT,
         Imf::HALF,
         {0, 0},
         "2",
         Imf::ZIP_COMPRESSION},
        {"zips scanlines, half depth, data window off the origin, three threads",
         Imf::ZIPS_COMPRESSION,
         0,
         false,
         Imf::FLOAT,
         Imf::HALF,
         Imf::HALF,
         {-3, 5},
         "3",
         Imf::ZIPS_COMPRESSION},
        {"zip tiles with tiles cut at the edges",
         Imf::ZIP_COMPRESSION,
         16,
         false,
         Imf::HALF,
         Imf::FLOAT,
         Imf::FLOAT,
         {2, -1},
         "2",
         Imf::ZIP_COMPRESSION},
        {"piz tiles, half depth, data window off the origin",
         Imf::PIZ_COMPRESSION,
         16,
         false,
         Imf::FLOAT,
         Imf::HALF,
         Imf::FLOAT,
         {-3, 5},
         "2",
         Imf::PIZ_COMPRESSION},
        {"uncompressed MIP-mapped tiles, one thread",
         Imf::NO_COMPRESSION,
         8,
         true,
         Imf::FLOAT,
         Imf::FLOAT,
         Imf::FLOAT,
         {0, 0},
         "1",
         Imf::NO_COMPRESSION},
        {"lossy dwaa, five threads",
         Imf::DWAA_COMPRESSION,
         0,
         false,
         Imf::HALF,
         Imf::FLOAT,
         Imf::HALF,
         {0, 0},
         "5",
         Imf::ZIP_COMPRESSION},
        {"lossy b44 tiles, half depth",
         Imf::B44_COMPRESSION,
         16,
         false,
         Imf::HALF,
         Imf::HALF,
         Imf::HALF,
         {2, 1},
         "3",
         Imf::ZIP_COMPRESSION},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.what);
        ExrPart part = scenePart(23, 17, kind.origin, kind.colour, kind.depth, kind.normal);
        part.compression = kind.compression;
        part.tileSize = kind.tileSize;
        part.mipmap = kind.mipmap;
        writeExrFile(Folder.path("in.exr"), {part});
        const Outcome run = render({"--threads", kind.threads});
        ASSERT_EQ(run.status, 0) << run.err;
        const std::vector<ExrPart> in = readExrFile(Folder.path("in.exr"));
        const std::vector<ExrPart> out = readExrFile(Folder.path("out.exr"));
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].compression, kind.written);
        EXPECT_EQ(out[0].tileSize, kind.tileSize);
        EXPECT_EQ(out[0].levels, 1);
        expectRendered(in[0], out[0]);
    }
}

TEST_F(ExrKinds, SubsampledChannelsKeepTheirSamples) {
    for (Imf::Compression compression : {Imf::ZIPS_COMPRESSION, Imf::ZIP_COMPRESSION}) {
        SCOPED_TRACE(compression);
        ExrPart part = scenePart(24, 18, {2, -4}, Imf::HALF, Imf::FLOAT, Imf::HALF);
        part.compression = compression;
        addSampledChannel(part, "RY", Imf::HALF, 2, [](int x, int y) { return x - 0.25 * y; });
        addSampledChannel(part, "BY", Imf::FLOAT, 2, [](int x, int y) { return x * y / 7.0; });
        writeExrFile(Folder.path("in.exr"), {part});
        const Outcome run = render({"--threads", "2"});
        ASSERT_EQ(run.status, 0) << run.err;
        const std::vector<ExrPart> out = readExrFile(Folder.path("out.exr"));
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].compression, compression);
        for (const char* name : {"RY", "BY"}) {
            ASSERT_TRUE(out[0].channel(name)) << name;
            EXPECT_EQ(out[0].channel(name)->xSampling, 2) << name;
            EXPECT_EQ(out[0].channel(name)->ySampling, 2) << name;
        }
        expectRendered(readExrFile(Folder.path("in.exr"))[0], out[0]);
    }
}

TEST_F(ExrKinds, ThePartWithDepthIsRenderedAndTheOthersCopiedInPlace) {
    ExrPart beauty = exrPart(19, 13);
    beauty.name = "beauty";
    beauty.compression = Imf::DWAA_COMPRESSION;
    for (const char* name : {"R", "G", "B", "A"})
        addChannel(beauty, name, Imf::HALF,
                   [](int x, int y) { return 0.37 * x - 0.11 * y + 0.013 * x * y; });
    ExrPart aux = scenePart(19, 13, {0, 0}, Imf::FLOAT, Imf::FLOAT, Imf::HALF);
    aux.name = "aux";
    aux.tileSize = 8;
    aux.mipmap = true;
    ExrPart notes = exrPart(19, 13);
    notes.name = "notes";
    addChannel(notes, "matte", Imf::UINT, [](int x, int y) { return x * 1000 + y; });
    writeExrFile(Folder.path("in.exr"), {beauty, aux, notes});

    const Outcome run = render({});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<ExrPart> in = readExrFile(Folder.path("in.exr"));
    const std::vector<ExrPart> out = readExrFile(Folder.path("out.exr"));
    ASSERT_EQ(out.size(), 3u);
    expectCopied(in[0], out[0]);
    expectCopied(in[2], out[2]);
    EXPECT_EQ(out[1].name, "aux");
    EXPECT_EQ(out[1].levels, 1);
    expectRendered(in[1], out[1]);

    // Another part by name, though it has no depth: it gains the results, and the part with depth
    // is copied like any other. A name the file lacks lists those it has.
    ASSERT_EQ(render({"--part", "notes"}).status, 0);
    const std::vector<ExrPart> byName = readExrFile(Folder.path("out.exr"));
    ASSERT_EQ(byName.size(), 3u);
    expectCopied(in[0], byName[0]);
    expectCopied(in[1], byName[1]);
    expectRendered(in[2], byName[2]);
    const Outcome unknown = render({"--part", "diffuse"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(isMessage(unknown.err, {"--part diffuse", "beauty, aux, notes"}));
}

} // namespace
} // namespace apptest
