#include "app/files/ExrOutput.h"

#include "app/Failure.h"
#include "app/files/ExrChunks.h"
#include "app/files/ExrInput.h"
#include "app/files/ExrPartCopy.h"
#include "app/files/ExrStreams.h"

#include <Imath/half.h>
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfDoubleAttribute.h>
#include <OpenEXR/ImfFloatAttribute.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfIntAttribute.h>
#include <OpenEXR/ImfMultiPartOutputFile.h>
#include <OpenEXR/ImfOutputPart.h>
#include <OpenEXR/ImfPartType.h>
#include <OpenEXR/ImfStringAttribute.h>
#include <OpenEXR/ImfTiledOutputPart.h>
#include <array>
#include <cstdint>
#include <cstring>
#include <fmt/format.h>
#include <memory>
#include <new>
#include <string_view>

namespace umbrix {

namespace {

// Lossy compression would change the carried channels, so it gives way to zip.
Imf::Compression lossless(Imf::Compression given) {
    switch (given) {
    case Imf::NO_COMPRESSION:
    case Imf::RLE_COMPRESSION:
    case Imf::ZIPS_COMPRESSION:
    case Imf::ZIP_COMPRESSION:
    case Imf::PIZ_COMPRESSION:
        return given;
    default:
        return Imf::ZIP_COMPRESSION;
    }
}

Imf::Compression exrCompression(Compression kind) {
    switch (kind) {
    case Compression::None:
        return Imf::NO_COMPRESSION;
    case Compression::Rle:
        return Imf::RLE_COMPRESSION;
    case Compression::Zips:
        return Imf::ZIPS_COMPRESSION;
    case Compression::Zip:
        return Imf::ZIP_COMPRESSION;
    case Compression::Piz:
        return Imf::PIZ_COMPRESSION;
    case Compression::Pxr24:
        return Imf::PXR24_COMPRESSION;
    case Compression::B44:
        return Imf::B44_COMPRESSION;
    case Compression::B44a:
        return Imf::B44A_COMPRESSION;
    case Compression::Dwaa:
        return Imf::DWAA_COMPRESSION;
    case Compression::Dwab:
        return Imf::DWAB_COMPRESSION;
    }
    return Imf::ZIP_COMPRESSION;
}

// Attributes the format itself defines; another format's metadata may not take their names.
bool reservedName(std::string_view name) {
    static constexpr std::array<std::string_view, 13> names = {"channels",
                                                               "compression",
                                                               "dataWindow",
                                                               "displayWindow",
                                                               "lineOrder",
                                                               "pixelAspectRatio",
                                                               "screenWindowCenter",
                                                               "screenWindowWidth",
                                                               "tiles",
                                                               "type",
                                                               "name",
                                                               "version",
                                                               "chunkCount"};
    for (std::string_view reserved : names)
        if (name == reserved)
            return true;
    return false;
}

void insertAttribute(Imf::Header& header, const Attribute& attribute);

Imf::Header freshHeader(const Frame& frame) {
    const Windows& w = frame.windows;
    Imf::Header header(
        Imath::Box2i({w.fullX, w.fullY}, {w.fullX + w.fullWidth - 1, w.fullY + w.fullHeight - 1}),
        Imath::Box2i({w.x, w.y}, {w.x + w.width - 1, w.y + w.height - 1}));
    header.compression() = Imf::ZIP_COMPRESSION;
    header.setType(Imf::SCANLINEIMAGE);
    for (const Attribute& attribute : frame.metadata)
        if (!reservedName(attribute.name))
            insertAttribute(header, attribute);
    return header;
}

std::unique_ptr<Imf::Attribute> exrAttribute(const Attribute& attribute) {
    if (const auto* text = std::get_if<std::string>(&attribute.value))
        return std::make_unique<Imf::StringAttribute>(*text);
    if (const auto* whole = std::get_if<int>(&attribute.value))
        return std::make_unique<Imf::IntAttribute>(*whole);
    if (const auto* number = std::get_if<double>(&attribute.value))
        return std::make_unique<Imf::DoubleAttribute>(*number);
    return std::make_unique<Imf::FloatAttribute>(std::get<float>(attribute.value));
}

// The header without one attribute. OpenEXR's own erase leaks the attribute it removes.
Imf::Header without(const Imf::Header& from, const std::string& name) {
    Imf::Header header;
    for (auto it = from.begin(); it != from.end(); ++it)
        if (name != it.name())
            header.insert(it.name(), it.attribute());
    return header;
}

// Ours replaces an attribute of the same name the input carries, whatever its type: OpenEXR keeps
// an attribute's type and refuses a value of another.
void insertAttribute(Imf::Header& header, const Attribute& attribute) {
    const std::unique_ptr<Imf::Attribute> value = exrAttribute(attribute);
    const auto found = header.find(attribute.name);
    if (found != header.end() && std::strcmp(found.attribute().typeName(), value->typeName()) != 0)
        header = without(header, attribute.name);
    header.insert(attribute.name, *value);
}

void setCompression(Imf::Header& header, const OutputOptions& options) {
    if (!options.compression) {
        header.compression() = lossless(header.compression());
        return;
    }
    const CompressionChoice& choice = *options.compression;
    header.compression() = exrCompression(choice.kind);
    if (choice.zipLevel)
        header.zipCompressionLevel() = *choice.zipLevel;
    if (choice.dwaQuality)
        header.dwaCompressionLevel() = *choice.dwaQuality;
}

Imf::Header renderedHeader(const Frame& frame, int part, const std::vector<OutputChannel>& written,
                           const OutputOptions& options) {
    const ExrSource* source = exrSourceOf(frame);
    Imf::Header header = source ? source->header(part) : freshHeader(frame);
    Imf::ChannelList channels;
    for (const OutputChannel& channel : written)
        channels.insert(channel.name, Imf::Channel(exrType(channel.type), channel.xSampling,
                                                   channel.ySampling, channel.perceptuallyLinear));
    header.channels() = channels;
    setCompression(header, options);
    if (isTiledPart(header)) {
        // A mip-mapped input's first level is what was rendered.
        const Imf::TileDescription tiles = header.tileDescription();
        header.setTileDescription(
            Imf::TileDescription(tiles.xSize, tiles.ySize, Imf::ONE_LEVEL, tiles.roundingMode));
    }
    for (const Attribute& attribute : options.stamp)
        insertAttribute(header, attribute);
    // A chunk count the input gave is set anew by the writer (erasing it would leak it).
    return header;
}

// Samples in another type than the file is to hold them in (-d), converted as OpenEXR converts
// when it reads: half from float rounds to the nearest, ties to even.
PlaneSlice converted(const PlaneSlice& from, SampleType fromType, SampleType toType,
                     std::size_t width, std::size_t height,
                     std::vector<std::unique_ptr<char[]>>& planes) {
    const std::size_t size = toType == SampleType::Half ? sizeof(std::uint16_t) : sizeof(float);
    planes.push_back(std::make_unique_for_overwrite<char[]>(width * height * size));
    PlaneSlice to{planes.back().get(), size, size * width};
    for (std::size_t y = 0; y < height; ++y) {
        const char* source = from.origin + y * from.yStride;
        char* target = to.origin + y * to.yStride;
        for (std::size_t x = 0; x < width; ++x, source += from.xStride, target += size) {
            const float value = sampleAsFloat(source, fromType);
            if (toType == SampleType::Half) {
                const std::uint16_t bits = Imath::half(value).bits();
                std::memcpy(target, &bits, sizeof bits);
            } else {
                std::memcpy(target, &value, sizeof value);
            }
        }
    }
    return to;
}

// OpenEXR writes each channel from samples of the type the file holds it in. Carried channels are
// what the tool's result holds there: the source's samples once the tool has written its pixels,
// zeros when it wrote none.
Imf::FrameBuffer outputBuffer(const Frame& frame, const FrameResults& results,
                              const std::vector<OutputChannel>& written,
                              std::vector<std::unique_ptr<char[]>>& planes) {
    Imf::FrameBuffer buffer;
    const Imath::V2i origin(frame.windows.x, frame.windows.y);
    const bool toolWrote = minihost::written(*results.image);
    for (const OutputChannel& channel : written) {
        const CarriedPlane* carried =
            channel.carried >= 0 ? &frame.carried[static_cast<std::size_t>(channel.carried)]
                                 : nullptr;
        PlaneSlice slice = carried ? carriedSlice(*carried) : resultSlice(results, channel);
        if (carried && !toolWrote) {
            planes.push_back(std::make_unique<char[]>(carried->size));
            slice.origin = planes.back().get();
        }
        if (channel.type != channel.stored) {
            const std::size_t width = carried ? carried->yStride / carried->xStride
                                              : static_cast<std::size_t>(frame.windows.width);
            const std::size_t height = carried && carried->yStride > 0
                                           ? carried->size / carried->yStride
                                           : static_cast<std::size_t>(frame.windows.height);
            slice = converted(slice, channel.stored, channel.type, width, height, planes);
        }
        buffer.insert(channel.name,
                      Imf::Slice::Make(exrType(channel.type), slice.origin, origin,
                                       frame.windows.width, frame.windows.height, slice.xStride,
                                       slice.yStride, channel.xSampling, channel.ySampling));
    }
    return buffer;
}

void writeRendered(Imf::MultiPartOutputFile& out, int part, const Frame& frame,
                   const FrameResults& results, const std::vector<OutputChannel>& written) {
    std::vector<std::unique_ptr<char[]>> planes;
    const Imf::FrameBuffer buffer = outputBuffer(frame, results, written, planes);
    if (isTiledPart(out.header(part))) {
        Imf::TiledOutputPart tiles(out, part);
        tiles.setFrameBuffer(buffer);
        tiles.writeTiles(0, tiles.numXTiles(0) - 1, 0, tiles.numYTiles(0) - 1, 0, 0);
    } else {
        Imf::OutputPart lines(out, part);
        lines.setFrameBuffer(buffer);
        lines.writePixels(frame.windows.height);
    }
}

// What is written into a part the tool rendered: its frame, the results and the channels.
struct PartWriting {
    const Frame* frame = nullptr;
    FrameResults results;
    std::vector<OutputChannel> written;
};

void writeFile(const std::string& target, const std::string& shown, const Frame& frame,
               const FrameResults& results, const std::vector<OutputChannel>& written,
               const OutputOptions& options) {
    ExrSource* source = exrSourceOf(frame);
    const int rendered = source ? source->renderedPart() : 0;
    const int parts = source ? source->parts() : 1;
    // The frame's part, and each view rendered from a part of its own; the others are copied.
    std::vector<PartWriting> writings(static_cast<std::size_t>(parts));
    writings[static_cast<std::size_t>(rendered)] = {&frame, results, written};
    for (std::size_t v = 0; v < frame.views.size(); ++v)
        if (rendersFromPart(frame, v)) {
            const Frame& view = *frame.views[v].frame;
            writings[static_cast<std::size_t>(frame.views[v].part)] = {
                &view, {results.views[v], {}}, outputChannels(view, options, false, true)};
        }
    std::vector<Imf::Header> headers;
    for (int part = 0; part < parts; ++part) {
        const PartWriting& writing = writings[static_cast<std::size_t>(part)];
        headers.push_back(writing.frame
                              ? renderedHeader(*writing.frame, part, writing.written, options)
                              : source->header(part));
    }
    ExrWriteStream stream(target, shown);
    if (parts == 1 && zipCompressed(headers[0].compression())) {
        std::vector<std::unique_ptr<char[]>> planes;
        writeZipPart(stream, headers[0], outputBuffer(frame, results, written, planes));
        stream.finish();
        return;
    }
    {
        Imf::MultiPartOutputFile out(stream, headers.data(), parts, false, minihost::threads());
        for (int part = 0; part < parts; ++part) {
            const PartWriting& writing = writings[static_cast<std::size_t>(part)];
            if (writing.frame)
                writeRendered(out, part, *writing.frame, writing.results, writing.written);
            else
                copyPart(out, *source, part, frame.path);
        }
    }
    stream.finish();
}

} // namespace

void writeExr(const std::string& target, const std::string& shown, const Frame& frame,
              const FrameResults& results, const std::vector<OutputChannel>& written,
              const OutputOptions& options) {
    try {
        writeFile(target, shown, frame, results, written, options);
    } catch (const RunError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw RunError(fmt::format("{}: cannot write: out of memory", shown), shown, std::nullopt,
                       RunError::Cause::Memory);
    } catch (const std::exception& e) {
        throw RunError(fmt::format("{}: cannot write: {}", shown, oneLine(e.what())), shown);
    }
}

} // namespace umbrix
