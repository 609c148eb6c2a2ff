// Writes the EXR seeds of the exr fuzz target, each a few KiB, one of every kind the program reads:
//   umbrix_fuzz_seeds tests/fuzz/exr

#include <Imath/half.h>
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfDeepFrameBuffer.h>
#include <OpenEXR/ImfDeepScanLineOutputPart.h>
#include <OpenEXR/ImfFloatAttribute.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfMultiPartOutputFile.h>
#include <OpenEXR/ImfOutputPart.h>
#include <OpenEXR/ImfPartType.h>
#include <OpenEXR/ImfStandardAttributes.h>
#include <OpenEXR/ImfStringAttribute.h>
#include <OpenEXR/ImfTiledOutputPart.h>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

struct Channel {
    std::string name;
    Imf::PixelType type = Imf::FLOAT;
    int sampling = 1;
};

// A part's description; its samples are made from the position, so each file differs.
struct Part {
    std::string name;
    Imath::Box2i data{{0, 0}, {15, 11}};
    Imath::Box2i display{{0, 0}, {15, 11}};
    Imf::Compression compression = Imf::ZIP_COMPRESSION;
    int tile = 0; // 0: scan lines
    Imf::LevelMode levels = Imf::ONE_LEVEL;
    bool deep = false;
    std::vector<Channel> channels;
    std::vector<std::pair<std::string, float>> floats;
    std::vector<std::pair<std::string, std::string>> strings;
    Imf::StringVector views; // a multiView attribute, when not empty
};

Imf::Header headerOf(const Part& part, bool named) {
    Imf::Header header(part.display, part.data);
    header.compression() = part.compression;
    for (const Channel& c : part.channels)
        header.channels().insert(c.name, Imf::Channel(c.type, c.sampling, c.sampling));
    if (named)
        header.setName(part.name);
    if (part.deep)
        header.setType(Imf::DEEPSCANLINE);
    else if (part.tile > 0)
        header.setType(Imf::TILEDIMAGE);
    else
        header.setType(Imf::SCANLINEIMAGE);
    if (part.tile > 0)
        header.setTileDescription(Imf::TileDescription(part.tile, part.tile, part.levels));
    for (const auto& [name, value] : part.floats)
        header.insert(name, Imf::FloatAttribute(value));
    for (const auto& [name, value] : part.strings)
        header.insert(name, Imf::StringAttribute(value));
    if (!part.views.empty())
        Imf::addMultiView(header, part.views);
    return header;
}

// Every sample of a channel as 32-bit words (a half in the low bits), over the data window.
struct Samples {
    std::vector<std::uint32_t> words;
};

Samples samplesOf(const Part& part, const Channel& c, std::size_t index) {
    const int width = part.data.max.x - part.data.min.x + 1;
    const int height = part.data.max.y - part.data.min.y + 1;
    Samples samples;
    samples.words.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float value = 1.0f + 0.125f * static_cast<float>(x) +
                                0.0625f * static_cast<float>(y * (1 + static_cast<int>(index)));
            std::uint32_t word = 0;
            if (c.type == Imf::FLOAT)
                std::memcpy(&word, &value, sizeof value);
            else if (c.type == Imf::HALF)
                word = Imath::half(value).bits();
            else
                word = static_cast<std::uint32_t>(x * 7 + y * 3);
            samples.words[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                          static_cast<std::size_t>(x)] = word;
        }
    return samples;
}

// A slice over 32-bit words reads the low half of each for a half channel on a little-endian
// machine, which every machine the program builds on is.
Imf::Slice sliceOf(const Part& part, const Channel& c, Samples& samples) {
    const int width = part.data.max.x - part.data.min.x + 1;
    return Imf::Slice::Make(c.type, samples.words.data(), part.data.min, width,
                            part.data.max.y - part.data.min.y + 1, sizeof(std::uint32_t),
                            sizeof(std::uint32_t) * static_cast<std::size_t>(width), c.sampling,
                            c.sampling);
}

void writeFlat(Imf::MultiPartOutputFile& file, int index, const Part& part) {
    std::deque<Samples> kept;
    Imf::FrameBuffer buffer;
    for (std::size_t k = 0; k < part.channels.size(); ++k) {
        kept.push_back(samplesOf(part, part.channels[k], k));
        buffer.insert(part.channels[k].name, sliceOf(part, part.channels[k], kept.back()));
    }
    if (part.tile > 0) {
        Imf::TiledOutputPart tiles(file, index);
        tiles.setFrameBuffer(buffer);
        for (int level = 0; level < tiles.numLevels(); ++level)
            tiles.writeTiles(0, tiles.numXTiles(level) - 1, 0, tiles.numYTiles(level) - 1, level);
        return;
    }
    Imf::OutputPart lines(file, index);
    lines.setFrameBuffer(buffer);
    lines.writePixels(part.data.max.y - part.data.min.y + 1);
}

// Deep samples: pixel (x, y) holds (x + y) % 3 samples of each channel.
void writeDeep(Imf::MultiPartOutputFile& file, int index, const Part& part) {
    const int width = part.data.max.x - part.data.min.x + 1;
    const int height = part.data.max.y - part.data.min.y + 1;
    const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<unsigned> counts(pixels);
    std::vector<std::vector<float>> values(part.channels.size() * pixels);
    std::vector<float*> pointers(part.channels.size() * pixels);
    for (std::size_t p = 0; p < pixels; ++p) {
        counts[p] = static_cast<unsigned>(
            (p % static_cast<std::size_t>(width) + p / static_cast<std::size_t>(width)) % 3);
        for (std::size_t c = 0; c < part.channels.size(); ++c) {
            std::vector<float>& v = values[c * pixels + p];
            for (unsigned s = 0; s < counts[p]; ++s)
                v.push_back(1.0f + static_cast<float>(s) + 0.5f * static_cast<float>(c));
            pointers[c * pixels + p] = v.data();
        }
    }
    Imf::DeepFrameBuffer buffer;
    const auto origin = static_cast<std::ptrdiff_t>(part.data.min.x) +
                        static_cast<std::ptrdiff_t>(part.data.min.y) * width;
    buffer.insertSampleCountSlice(Imf::Slice(Imf::UINT,
                                             reinterpret_cast<char*>(counts.data() - origin),
                                             sizeof(unsigned), sizeof(unsigned) * width));
    for (std::size_t c = 0; c < part.channels.size(); ++c)
        buffer.insert(part.channels[c].name,
                      Imf::DeepSlice(Imf::FLOAT,
                                     reinterpret_cast<char*>(pointers.data() + c * pixels - origin),
                                     sizeof(float*), sizeof(float*) * width, sizeof(float)));
    Imf::DeepScanLineOutputPart lines(file, index);
    lines.setFrameBuffer(buffer);
    lines.writePixels(height);
}

void writeFile(const std::string& path, const std::vector<Part>& parts) {
    std::vector<Imf::Header> headers;
    for (const Part& part : parts)
        headers.push_back(headerOf(part, parts.size() > 1));
    Imf::MultiPartOutputFile file(path.c_str(), headers.data(), static_cast<int>(headers.size()));
    for (std::size_t k = 0; k < parts.size(); ++k)
        if (parts[k].deep)
            writeDeep(file, static_cast<int>(k), parts[k]);
        else
            writeFlat(file, static_cast<int>(k), parts[k]);
}

const std::vector<Channel> Rgbaz = {{"A"}, {"B"}, {"G"}, {"R"}, {"Z"}};

std::string bytesOf(const std::string& path) {
    std::string bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char block[4096];
        for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;)
            bytes.append(block, got);
        std::fclose(file);
    }
    return bytes;
}

void writeBytes(const std::string& path, const std::string& bytes) {
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
}

std::uint64_t numberAt(const std::string& bytes, std::size_t at, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t k = count; k-- > 0;)
        value = value << 8 | static_cast<std::uint8_t>(bytes[at + k]);
    return value;
}

void putNumber(std::string& bytes, std::size_t at, std::uint64_t value, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k)
        bytes[at + k] = static_cast<char>(value >> (8 * k));
}

// Copies of a file of one part of `chunks` chunks with the offset table entry of the middle chunk
// wrong, as an interrupted or careless writer leaves it, each named `stem` and the damage; the last
// with that chunk's own header wrong too, so that it cannot be found.
void writeDamagedTables(const std::string& folder, const std::string& written,
                        const std::string& stem, std::size_t chunks) {
    const std::string bytes = bytesOf(written);
    // OpenEXR writes the first chunk right after the table.
    std::size_t table = 0;
    while (table + 8 <= bytes.size() && numberAt(bytes, table, 8) != table + 8 * chunks)
        ++table;
    const std::size_t entry = table + 8 * (chunks / 2);
    const std::uint64_t chunk = numberAt(bytes, entry, 8);
    const std::uint64_t before = numberAt(bytes, entry - 8, 8);
    const struct {
        const char* name;
        std::uint64_t offset;
    } damages[] = {{"before-the-chunks", table / 2},
                   {"past-the-end", bytes.size() + 100},
                   {"into-another-chunk", before + 9},
                   {"and-its-chunk-header-wrong", bytes.size() + 100}};
    for (const auto& damage : damages) {
        std::string damaged = bytes;
        putNumber(damaged, entry, damage.offset, 8);
        if (&damage == &damages[std::size(damages) - 1])
            putNumber(damaged, chunk, 0x7fff0000, 4);
        writeBytes(folder + "/" + stem + "-offset-table-entry-" + damage.name + ".exr", damaged);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: umbrix_fuzz_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    Part scanline;
    scanline.channels = Rgbaz;
    scanline.channels.push_back({"N.X"});
    scanline.channels.push_back({"N.Y"});
    scanline.channels.push_back({"N.Z"});
    writeFile(folder + "/scanline.exr", {scanline});

    Part tiled;
    tiled.channels = Rgbaz;
    tiled.tile = 8;
    tiled.compression = Imf::RLE_COMPRESSION;
    writeFile(folder + "/tiled.exr", {tiled});

    Part mipmapped = tiled;
    mipmapped.levels = Imf::MIPMAP_LEVELS;
    mipmapped.compression = Imf::PIZ_COMPRESSION;
    writeFile(folder + "/mipmapped.exr", {mipmapped});

    Part types;
    types.channels = {{"R", Imf::HALF},  {"G", Imf::HALF},  {"B", Imf::HALF},
                      {"Z", Imf::FLOAT}, {"id", Imf::UINT}, {"mask", Imf::HALF}};
    types.compression = Imf::ZIPS_COMPRESSION;
    writeFile(folder + "/half-uint.exr", {types});

    Part subsampled;
    subsampled.channels = {
        {"Y", Imf::HALF}, {"RY", Imf::HALF, 2}, {"BY", Imf::HALF, 2}, {"Z", Imf::FLOAT}};
    subsampled.compression = Imf::NO_COMPRESSION;
    writeFile(folder + "/subsampled.exr", {subsampled});

    Part window;
    window.channels = {{"R", Imf::HALF}, {"depth.Z"}};
    window.data = {{-3, 5}, {9, 11}};
    window.display = {{0, 0}, {7, 7}};
    window.compression = Imf::PXR24_COMPRESSION;
    writeFile(folder + "/odd-window.exr", {window});

    Part beauty;
    beauty.name = "beauty";
    beauty.channels = {{"R", Imf::HALF}, {"G", Imf::HALF}, {"B", Imf::HALF}};
    Part aux = tiled;
    aux.name = "aux";
    aux.channels = {{"Z"}, {"N.X"}, {"N.Y"}, {"N.Z"}};
    Part deep;
    deep.name = "deep";
    deep.deep = true;
    deep.channels = {{"A"}, {"Z"}};
    deep.compression = Imf::ZIPS_COMPRESSION;
    writeFile(folder + "/multipart-deep.exr", {beauty, aux, deep});

    // An input carrying attributes of the names the program writes, of other types, and a long
    // string, as render manifests are.
    Part stamped = scanline;
    stamped.channels = {{"R", Imf::HALF}, {"Z"}};
    stamped.compression = Imf::B44_COMPRESSION;
    stamped.floats = {{"umbrix:Amount", 0.5f}, {"umbrix:Matrix", 3.0f}};
    stamped.strings = {{"cryptomatte/manifest", std::string(2000, 'm')}};
    writeFile(folder + "/stamped.exr", {stamped});

    // Files of several chunks, their offset tables damaged.
    const std::string written = folder + "/undamaged.exr";
    Part zip;
    zip.channels = {{"R", Imf::HALF}, {"Z"}};
    zip.data = zip.display = {{0, 0}, {15, 39}};
    writeFile(written, {zip});
    writeDamagedTables(folder, written, "zip", 3);
    Part zips = zip;
    zips.data = zips.display = {{0, 0}, {15, 4}};
    zips.compression = Imf::ZIPS_COMPRESSION;
    writeFile(written, {zips});
    writeDamagedTables(folder, written, "zips", 5);
    Part tiles = zip;
    tiles.data = tiles.display = {{0, 0}, {15, 23}};
    tiles.tile = 8;
    writeFile(written, {tiles});
    writeDamagedTables(folder, written, "zip-tiles", 6);
    std::remove(written.c_str());
    // Three views: the default unprefixed, one as view.channel, one as layer.view.channel; the
    // third without depth.
    Part stereo;
    stereo.views = {"left", "right", "centre"};
    stereo.channels = Rgbaz;
    for (const char* name : {"right.R", "right.A", "right.Z", "right.N.X", "N.right.Y", "centre.G",
                             "diffuse.centre.R"})
        stereo.channels.push_back({name, Imf::HALF});
    writeFile(folder + "/multi-view.exr", {stereo});
    // A part per view: left, right tiled over another window, a right part without depth, and a
    // part of no view.
    Part left;
    left.name = "left";
    left.channels = Rgbaz;
    left.strings = {{"view", "left"}};
    Part rightMatte = left;
    rightMatte.name = "right.matte";
    rightMatte.channels = {{"matte", Imf::HALF}};
    rightMatte.strings = {{"view", "right"}};
    Part right = left;
    right.name = "right";
    right.data = {{2, -1}, {13, 9}};
    right.tile = 4;
    right.channels.push_back({"N.X", Imf::HALF});
    right.strings = {{"view", "right"}};
    Part ids = left;
    ids.name = "ids";
    ids.channels = {{"id", Imf::UINT}};
    ids.strings.clear();
    writeFile(folder + "/view-parts.exr", {left, rightMatte, right, ids});
    return 0;
}
