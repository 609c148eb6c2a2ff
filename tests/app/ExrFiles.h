#pragma once

// EXR files written and read with OpenEXR's own API, to the bit and in every kind the program
// meets: per-channel pixel types, tiles, mip levels, several parts.

#include <Imath/ImathBox.h>
#include <OpenEXR/ImfCompression.h>
#include <OpenEXR/ImfPixelType.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace apptest {

// A channel as the file stores it: the bits of every sample over the data window, row after row
// (a half in the low 16 bits); a subsampled channel has a sample every xSampling-th column of every
// ySampling-th row.
struct ExrChannel {
    std::string name;
    Imf::PixelType type = Imf::FLOAT;
    std::vector<std::uint32_t> bits;
    // Every level after the first, one after another, as read: empty for a part of one level.
    std::vector<std::uint32_t> lowerLevels;
    int xSampling = 1;
    int ySampling = 1;
};

struct ExrPart {
    std::string name; // empty: a file of one part, unnamed
    Imath::Box2i dataWindow;
    Imath::Box2i displayWindow;
    Imf::Compression compression = Imf::ZIP_COMPRESSION;
    int tileSize = 0;    // 0: scanlines
    bool mipmap = false; // tiled with every MIP level (levels after the first hold other values)
    int levels = 1;      // as read back
    std::vector<std::string> multiView; // the views of a multi-view part; none: not written
    std::string view;                   // a part's view attribute; empty: not written
    std::vector<ExrChannel> channels;

    int width() const { return dataWindow.max.x - dataWindow.min.x + 1; }
    int height() const { return dataWindow.max.y - dataWindow.min.y + 1; }
    const ExrChannel* channel(const std::string& name) const;
};

// A part at `origin` of `width` x `height`, in a display window from (0, 0) that holds it.
ExrPart exrPart(int width, int height, Imath::V2i origin = {0, 0});

// Adds a channel whose sample at (x, y) of the data window is value(x, y), stored as `type`
// (a uint channel takes the value's whole part).
void addChannel(ExrPart& part, const std::string& name, Imf::PixelType type,
                const std::function<double(int x, int y)>& value);

// Adds a channel with a sample every `sampling`-th column of every `sampling`-th row, the one at
// (x, y) of the data window being value(x, y).
void addSampledChannel(ExrPart& part, const std::string& name, Imf::PixelType type, int sampling,
                       const std::function<double(int x, int y)>& value);

// The value a sample's bits stand for, as OpenEXR converts it to float.
float sampleValue(Imf::PixelType type, std::uint32_t bits);

void writeExrFile(const std::string& path, const std::vector<ExrPart>& parts);
// Every part, each channel's levels after the first in `lowerLevels`; fails the test when the
// file cannot be read.
std::vector<ExrPart> readExrFile(const std::string& path);

} // namespace apptest
