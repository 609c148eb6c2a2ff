#include "app/files/ExrHeaderValues.h"

#include "app/Failure.h"
#include "app/Text.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <fmt/format.h>

namespace umbrix {

namespace {

// A window's corners stay this far inside int, as OpenEXR's own check keeps them, so that a width
// computed as max - min + 1 cannot overflow.
constexpr std::int64_t FarthestCorner = INT_MAX / 2;
// Past this many chunks a count stops growing: no file holds 2^62 offsets.
constexpr std::uint64_t ManyChunks = std::uint64_t{1} << 62;
constexpr std::uint64_t OffsetBytes = 8;
// A tile may be larger than the image, but the readers allocate a whole tile per thread: one of
// more pixels than the image and than this is refused.
constexpr std::uint64_t MostTilePixels = std::uint64_t{1} << 20;
// The compressions OpenEXR knows, and the lines each puts in a chunk.
constexpr int LinesPerChunk[] = {1, 1, 1, 16, 32, 16, 32, 32, 32, 256};
constexpr int CompressionCount = sizeof LinesPerChunk / sizeof LinesPerChunk[0];
constexpr int LevelModes = 3;    // one level, mipmaps, ripmaps
constexpr int RoundingModes = 2; // down, up
constexpr int PixelTypes = 3;    // uint, half, float

std::int32_t int32At(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t b = 4; b-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes[at + b]);
    return static_cast<std::int32_t>(value);
}

float floatAt(std::string_view bytes, std::size_t at) {
    return std::bit_cast<float>(int32At(bytes, at));
}

[[noreturn]] void refuse(const std::string& path, const std::string& name, std::string_view what) {
    throw RunError(
        fmt::format("{}: cannot read: header attribute '{}' {}", path, excerpt(name), what), path);
}

std::uint64_t ceilDivide(std::uint64_t value, std::uint64_t by) {
    return value / by + (value % by != 0 ? 1 : 0);
}

// The levels of a mipmap or ripmap along a side of `size` pixels, and a level's size.
int levelCount(std::uint64_t size, int rounding) {
    const int down = static_cast<int>(std::bit_width(size)) - 1;
    return (rounding == 1 && !std::has_single_bit(size) ? down + 1 : down) + 1;
}

std::uint64_t levelSize(std::uint64_t size, int level, int rounding) {
    const std::uint64_t scale = std::uint64_t{1} << level;
    return std::max<std::uint64_t>(rounding == 1 ? ceilDivide(size, scale) : size / scale, 1);
}

} // namespace

bool ExrHeaderValues::holds(const std::string& name) {
    static const char* const names[] = {
        "channels", "dataWindow",       "displayWindow",     "compression",        "lineOrder",
        "tiles",    "pixelAspectRatio", "screenWindowWidth", "screenWindowCenter", "chunkCount"};
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

void ExrHeaderValues::note(const std::string& name, const std::string& type, std::string_view value,
                           const std::string& path) {
    if (name == "channels" && type == "chlist") {
        // Each channel: its name, then the pixel type, linearity and three reserved bytes, and
        // the x and y sampling; the list ends with an empty name.
        std::size_t at = 0;
        while (at < value.size() && value[at] != '\0') {
            const std::size_t end = value.find('\0', at);
            if (end == std::string_view::npos || value.size() - end - 1 < 16)
                return;
            const std::string channel(value.substr(at, end - at));
            at = end + 1;
            const std::int32_t pixelType = int32At(value, at);
            const std::int32_t xSampling = int32At(value, at + 8);
            const std::int32_t ySampling = int32At(value, at + 12);
            at += 16;
            if (pixelType < 0 || pixelType >= PixelTypes)
                refuse(path, name,
                       fmt::format("gives channel '{}' pixel type {}, not one of 0 (uint), 1 "
                                   "(half) or 2 (float)",
                                   excerpt(channel), pixelType));
            if (xSampling < 1 || ySampling < 1)
                refuse(path, name,
                       fmt::format("gives channel '{}' a sampling of {}x{}; it must be at least "
                                   "1x1",
                                   excerpt(channel), xSampling, ySampling));
            Channels.push_back({channel, xSampling, ySampling});
        }
    } else if ((name == "dataWindow" || name == "displayWindow") && type == "box2i") {
        const Box box{int32At(value, 0), int32At(value, 4), int32At(value, 8), int32At(value, 12)};
        const bool inside = std::max({-box.minX, -box.minY, box.maxX, box.maxY}) < FarthestCorner;
        if (box.minX > box.maxX || box.minY > box.maxY || !inside)
            refuse(path, name,
                   fmt::format("is ({}, {})-({}, {}): {}", box.minX, box.minY, box.maxX, box.maxY,
                               inside ? "empty" : "a corner is out of range"));
        if (name == "dataWindow")
            DataWindows.push_back(box);
    } else if (name == "compression" && type == "compression") {
        const int compression = static_cast<unsigned char>(value[0]);
        if (compression >= CompressionCount)
            refuse(path, name, fmt::format("is {}, not a compression of OpenEXR", compression));
        Compressions.push_back(compression);
    } else if (name == "lineOrder" && type == "lineOrder") {
        // Increasing, decreasing, random.
        if (static_cast<unsigned char>(value[0]) > 2)
            refuse(path, name,
                   fmt::format("is {}, not a line order", static_cast<unsigned char>(value[0])));
    } else if (name == "tiles" && type == "tiledesc") {
        const auto width = static_cast<std::uint32_t>(int32At(value, 0));
        const auto height = static_cast<std::uint32_t>(int32At(value, 4));
        const int mode = static_cast<unsigned char>(value[8]);
        const Tiles tiles{width, height, mode & 0x0f, mode >> 4};
        if (width < 1 || height < 1 || width > INT_MAX || height > INT_MAX)
            refuse(path, name, fmt::format("gives tiles of {}x{}", width, height));
        if (tiles.levels >= LevelModes || tiles.rounding >= RoundingModes)
            refuse(path, name,
                   fmt::format("gives level mode {} and rounding mode {}", tiles.levels,
                               tiles.rounding));
        TileSizes.push_back(tiles);
    } else if ((name == "pixelAspectRatio" || name == "screenWindowWidth") && type == "float") {
        const float number = floatAt(value, 0);
        const bool positive = name == "pixelAspectRatio" ? number > 0 : number >= 0;
        if (!std::isfinite(number) || !positive)
            refuse(path, name, fmt::format("is {}", number));
    } else if (name == "screenWindowCenter" && type == "v2f") {
        const float x = floatAt(value, 0);
        const float y = floatAt(value, 4);
        if (!std::isfinite(x) || !std::isfinite(y))
            refuse(path, name, fmt::format("is ({}, {})", x, y));
    } else if (name == "chunkCount" && type == "int") {
        const std::int32_t count = int32At(value, 0);
        if (count < 1)
            refuse(path, name, fmt::format("is {}", count));
        ChunkCounts.push_back(count);
    }
}

std::uint64_t ExrHeaderValues::fewestChunks(const Box& data) const {
    const auto width = static_cast<std::uint64_t>(data.maxX - data.minX + 1);
    const auto height = static_cast<std::uint64_t>(data.maxY - data.minY + 1);
    int lines = LinesPerChunk[CompressionCount - 1];
    if (!Compressions.empty())
        lines = LinesPerChunk[*std::max_element(
            Compressions.begin(), Compressions.end(),
            [](int a, int b) { return LinesPerChunk[a] < LinesPerChunk[b]; })];
    std::uint64_t fewest = ceilDivide(height, static_cast<std::uint64_t>(lines));
    // Whether the readers take the part as tiled hangs on its type and the file's flags: the
    // fewer chunks of the two readings are the ones the file must at least hold.
    for (const Tiles& tiles : TileSizes) {
        const auto tilesOf = [&tiles](std::uint64_t across, std::uint64_t down) {
            return ceilDivide(across, tiles.width) * ceilDivide(down, tiles.height);
        };
        std::uint64_t count = 0;
        if (tiles.levels == 0) {
            count = tilesOf(width, height);
        } else if (tiles.levels == 1) {
            const int levels = levelCount(std::max(width, height), tiles.rounding);
            for (int level = 0; level < levels && count < ManyChunks; ++level)
                count += tilesOf(levelSize(width, level, tiles.rounding),
                                 levelSize(height, level, tiles.rounding));
        } else {
            for (int x = 0; x < levelCount(width, tiles.rounding) && count < ManyChunks; ++x)
                for (int y = 0; y < levelCount(height, tiles.rounding) && count < ManyChunks; ++y)
                    count += tilesOf(levelSize(width, x, tiles.rounding),
                                     levelSize(height, y, tiles.rounding));
        }
        fewest = std::min(fewest, count);
    }
    return fewest;
}

void ExrHeaderValues::check(std::uint64_t bytesLeft, std::uint64_t& chunks,
                            const std::string& path) const {
    for (const Box& data : DataWindows) {
        const std::int64_t width = data.maxX - data.minX + 1;
        const std::int64_t height = data.maxY - data.minY + 1;
        for (const Channel& channel : Channels) {
            const bool larger = channel.xSampling > width || channel.ySampling > height;
            if (larger || data.minX % channel.xSampling != 0 || width % channel.xSampling != 0 ||
                data.minY % channel.ySampling != 0 || height % channel.ySampling != 0)
                refuse(path, "channels",
                       fmt::format("gives channel '{}' a sampling of {}x{}, which {} the data "
                                   "window ({}, {})-({}, {})",
                                   excerpt(channel.name), channel.xSampling, channel.ySampling,
                                   larger ? "is larger than"
                                          : "does not divide the origin and "
                                            "size of",
                                   data.minX, data.minY, data.maxX, data.maxY));
        }
        const auto pixels = static_cast<std::uint64_t>(width * height);
        for (const Tiles& tiles : TileSizes)
            if (std::uint64_t{tiles.width} * tiles.height > std::max(pixels, MostTilePixels))
                refuse(path, "tiles",
                       fmt::format("gives tiles of {}x{}, more pixels than the data window "
                                   "({}, {})-({}, {}) and than 1024x1024",
                                   tiles.width, tiles.height, data.minX, data.minY, data.maxX,
                                   data.maxY));
        const std::uint64_t fewest = fewestChunks(data);
        chunks = std::min(chunks + fewest, ManyChunks);
        if (chunks > bytesLeft / OffsetBytes)
            refuse(path, "dataWindow",
                   fmt::format("is ({}, {})-({}, {}): {} chunks, more offsets than the {} bytes "
                               "after the header hold",
                               data.minX, data.minY, data.maxX, data.maxY, fewest, bytesLeft));
    }
    for (const std::int64_t count : ChunkCounts)
        if (static_cast<std::uint64_t>(count) > bytesLeft / OffsetBytes)
            refuse(path, "chunkCount",
                   fmt::format("is {}, more offsets than the {} bytes after the header hold", count,
                               bytesLeft));
}

} // namespace umbrix
