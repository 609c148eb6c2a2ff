#include "tests/app/ExrFiles.h"

#include <Imath/half.h>
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfInputPart.h>
#include <OpenEXR/ImfMultiPartInputFile.h>
#include <OpenEXR/ImfMultiPartOutputFile.h>
#include <OpenEXR/ImfOutputPart.h>
#include <OpenEXR/ImfPartType.h>
#include <OpenEXR/ImfStandardAttributes.h>
#include <OpenEXR/ImfTiledInputPart.h>
#include <OpenEXR/ImfTiledOutputPart.h>
#include <bit>
#include <cmath>
#include <gtest/gtest.h>

namespace apptest {

namespace {

std::uint32_t bitsOf(Imf::PixelType type, double value) {
    switch (type) {
    case Imf::HALF:
        return Imath::half(static_cast<float>(value)).bits();
    case Imf::UINT:
        return static_cast<std::uint32_t>(value);
    default:
        return std::bit_cast<std::uint32_t>(static_cast<float>(value));
    }
}

// Samples in the file's own type, for a frame buffer.
struct Samples {
    std::vector<std::uint32_t> wide;
    std::vector<std::uint16_t> narrow;

    Samples(Imf::PixelType type, const std::vector<std::uint32_t>& bits) {
        if (type == Imf::HALF)
            narrow.assign(bits.begin(), bits.end());
        else
            wide = bits;
    }
    char* data() {
        return narrow.empty() ? reinterpret_cast<char*>(wide.data())
                              : reinterpret_cast<char*>(narrow.data());
    }
    std::vector<std::uint32_t> bits() const {
        return narrow.empty() ? wide : std::vector<std::uint32_t>(narrow.begin(), narrow.end());
    }
};

std::size_t sampleSize(Imf::PixelType type) {
    return type == Imf::HALF ? 2 : 4;
}

Imf::Slice sliceOf(const ExrChannel& channel, char* data, const Imath::Box2i& window) {
    const std::size_t size = sampleSize(channel.type);
    const auto width = static_cast<std::size_t>(window.max.x - window.min.x + 1);
    return Imf::Slice::Make(channel.type, data, window, size,
                            size * (width / static_cast<std::size_t>(channel.xSampling)),
                            channel.xSampling, channel.ySampling);
}

Imf::Header headerOf(const ExrPart& part) {
    Imf::Header header(part.displayWindow, part.dataWindow);
    header.compression() = part.compression;
    for (const ExrChannel& channel : part.channels)
        header.channels().insert(channel.name,
                                 Imf::Channel(channel.type, channel.xSampling, channel.ySampling));
    if (!part.name.empty())
        header.setName(part.name);
    if (!part.multiView.empty())
        Imf::addMultiView(header, part.multiView);
    if (!part.view.empty())
        header.setView(part.view);
    if (part.tileSize > 0) {
        header.setTileDescription(Imf::TileDescription(
            static_cast<unsigned>(part.tileSize), static_cast<unsigned>(part.tileSize),
            part.mipmap ? Imf::MIPMAP_LEVELS : Imf::ONE_LEVEL));
        header.setType(Imf::TILEDIMAGE);
    } else {
        header.setType(Imf::SCANLINEIMAGE);
    }
    return header;
}

void writeTiled(Imf::MultiPartOutputFile& file, int index, const ExrPart& part) {
    Imf::TiledOutputPart out(file, index);
    for (int level = 0; level < out.numLevels(); ++level) {
        const Imath::Box2i window = out.dataWindowForLevel(level);
        const auto count = static_cast<std::size_t>(window.max.x - window.min.x + 1) *
                           static_cast<std::size_t>(window.max.y - window.min.y + 1);
        std::vector<Samples> samples;
        Imf::FrameBuffer buffer;
        for (const ExrChannel& channel : part.channels) {
            // Levels past the first hold values of their own, which a reader must not take.
            samples.emplace_back(channel.type, level == 0 ? channel.bits
                                                          : std::vector<std::uint32_t>(
                                                                count, bitsOf(channel.type, 7)));
        }
        for (std::size_t c = 0; c < part.channels.size(); ++c)
            buffer.insert(part.channels[c].name,
                          sliceOf(part.channels[c], samples[c].data(), window));
        out.setFrameBuffer(buffer);
        out.writeTiles(0, out.numXTiles(level) - 1, 0, out.numYTiles(level) - 1, level);
    }
}

void writeLines(Imf::MultiPartOutputFile& file, int index, const ExrPart& part) {
    Imf::OutputPart out(file, index);
    std::vector<Samples> samples;
    Imf::FrameBuffer buffer;
    for (const ExrChannel& channel : part.channels)
        samples.emplace_back(channel.type, channel.bits);
    for (std::size_t c = 0; c < part.channels.size(); ++c)
        buffer.insert(part.channels[c].name,
                      sliceOf(part.channels[c], samples[c].data(), part.dataWindow));
    out.setFrameBuffer(buffer);
    out.writePixels(part.height());
}

void readLowerLevels(Imf::TiledInputPart& in, ExrPart& part) {
    for (int level = 1; level < in.numLevels(); ++level) {
        const Imath::Box2i window = in.dataWindowForLevel(level);
        const auto count = static_cast<std::size_t>(window.max.x - window.min.x + 1) *
                           static_cast<std::size_t>(window.max.y - window.min.y + 1);
        std::vector<Samples> samples;
        for (const ExrChannel& channel : part.channels)
            samples.emplace_back(channel.type, std::vector<std::uint32_t>(count));
        Imf::FrameBuffer buffer;
        for (std::size_t c = 0; c < part.channels.size(); ++c)
            buffer.insert(part.channels[c].name,
                          sliceOf(part.channels[c], samples[c].data(), window));
        in.setFrameBuffer(buffer);
        in.readTiles(0, in.numXTiles(level) - 1, 0, in.numYTiles(level) - 1, level);
        for (std::size_t c = 0; c < part.channels.size(); ++c) {
            const std::vector<std::uint32_t> bits = samples[c].bits();
            part.channels[c].lowerLevels.insert(part.channels[c].lowerLevels.end(), bits.begin(),
                                                bits.end());
        }
    }
}

ExrPart readPart(Imf::MultiPartInputFile& file, int index) {
    const Imf::Header& header = file.header(index);
    ExrPart part;
    part.name = header.hasName() ? header.name() : "";
    part.view = header.hasView() ? header.view() : "";
    part.dataWindow = header.dataWindow();
    part.displayWindow = header.displayWindow();
    part.compression = header.compression();
    std::vector<Samples> samples;
    for (auto it = header.channels().begin(); it != header.channels().end(); ++it) {
        const Imf::Channel& channel = it.channel();
        part.channels.push_back(
            {it.name(), channel.type, {}, {}, channel.xSampling, channel.ySampling});
        const auto count = static_cast<std::size_t>(part.width() / channel.xSampling) *
                           static_cast<std::size_t>(part.height() / channel.ySampling);
        samples.emplace_back(channel.type, std::vector<std::uint32_t>(count));
    }
    Imf::FrameBuffer buffer;
    for (std::size_t c = 0; c < part.channels.size(); ++c)
        buffer.insert(part.channels[c].name,
                      sliceOf(part.channels[c], samples[c].data(), part.dataWindow));
    if (header.hasTileDescription()) {
        Imf::TiledInputPart in(file, index);
        part.tileSize = static_cast<int>(in.tileXSize());
        part.mipmap = in.levelMode() != Imf::ONE_LEVEL;
        part.levels = in.numLevels();
        in.setFrameBuffer(buffer);
        in.readTiles(0, in.numXTiles(0) - 1, 0, in.numYTiles(0) - 1, 0);
        readLowerLevels(in, part);
    } else {
        Imf::InputPart in(file, index);
        in.setFrameBuffer(buffer);
        in.readPixels(part.dataWindow.min.y, part.dataWindow.max.y);
    }
    for (std::size_t c = 0; c < part.channels.size(); ++c)
        part.channels[c].bits = samples[c].bits();
    return part;
}

} // namespace

const ExrChannel* ExrPart::channel(const std::string& wanted) const {
    for (const ExrChannel& c : channels)
        if (c.name == wanted)
            return &c;
    return nullptr;
}

ExrPart exrPart(int width, int height, Imath::V2i origin) {
    ExrPart part;
    part.dataWindow = Imath::Box2i(origin, origin + Imath::V2i(width - 1, height - 1));
    part.displayWindow = Imath::Box2i(
        {0, 0}, {std::max(origin.x + width, 1) - 1, std::max(origin.y + height, 1) - 1});
    return part;
}

void addChannel(ExrPart& part, const std::string& name, Imf::PixelType type,
                const std::function<double(int x, int y)>& value) {
    ExrChannel channel{name, type, {}, {}};
    for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x)
            channel.bits.push_back(bitsOf(type, value(x, y)));
    part.channels.push_back(std::move(channel));
}

void addSampledChannel(ExrPart& part, const std::string& name, Imf::PixelType type, int sampling,
                       const std::function<double(int x, int y)>& value) {
    ExrChannel channel{name, type, {}, {}, sampling, sampling};
    for (int y = 0; y < part.height(); y += sampling)
        for (int x = 0; x < part.width(); x += sampling)
            channel.bits.push_back(bitsOf(type, value(x, y)));
    part.channels.push_back(std::move(channel));
}

float sampleValue(Imf::PixelType type, std::uint32_t bits) {
    switch (type) {
    case Imf::HALF:
        return static_cast<float>(
            Imath::half(Imath::half::FromBits, static_cast<std::uint16_t>(bits)));
    case Imf::UINT:
        return static_cast<float>(bits);
    default:
        return std::bit_cast<float>(bits);
    }
}

void writeExrFile(const std::string& path, const std::vector<ExrPart>& parts) {
    std::vector<Imf::Header> headers;
    for (const ExrPart& part : parts)
        headers.push_back(headerOf(part));
    Imf::MultiPartOutputFile file(path.c_str(), headers.data(), static_cast<int>(headers.size()));
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].tileSize > 0)
            writeTiled(file, static_cast<int>(i), parts[i]);
        else
            writeLines(file, static_cast<int>(i), parts[i]);
    }
}

std::vector<ExrPart> readExrFile(const std::string& path) {
    std::vector<ExrPart> parts;
    try {
        Imf::MultiPartInputFile file(path.c_str());
        for (int i = 0; i < file.parts(); ++i)
            parts.push_back(readPart(file, i));
    } catch (const std::exception& e) {
        ADD_FAILURE() << path << ": " << e.what();
    }
    return parts;
}

} // namespace apptest
