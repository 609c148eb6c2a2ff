#include "app/files/ExrOutput.h"

#include "app/files/ExrInput.h"
#include "app/files/ExrStreams.h"
#include "app/Failure.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfDeepScanLineInputPart.h>
#include <OpenEXR/ImfDeepScanLineOutputPart.h>
#include <OpenEXR/ImfDeepTiledInputPart.h>
#include <OpenEXR/ImfDeepTiledOutputPart.h>
#include <OpenEXR/ImfFloatAttribute.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfInputPart.h>
#include <OpenEXR/ImfIntAttribute.h>
#include <OpenEXR/ImfMultiPartOutputFile.h>
#include <OpenEXR/ImfOutputPart.h>
#include <OpenEXR/ImfPartType.h>
#include <OpenEXR/ImfStringAttribute.h>
#include <OpenEXR/ImfTiledInputPart.h>
#include <OpenEXR/ImfTiledOutputPart.h>
#include <array>
#include <cstring>
#include <fmt/format.h>
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

Imf::Header freshHeader(const Frame& frame) {
    const Windows& w = frame.windows;
    Imf::Header header(
        Imath::Box2i({w.fullX, w.fullY}, {w.fullX + w.fullWidth - 1, w.fullY + w.fullHeight - 1}),
        Imath::Box2i({w.x, w.y}, {w.x + w.width - 1, w.y + w.height - 1}));
    header.compression() = Imf::ZIP_COMPRESSION;
    header.setType(Imf::SCANLINEIMAGE);
    for (const Attribute& attribute : frame.metadata) {
        if (reservedName(attribute.name))
            continue;
        if (const auto* text = std::get_if<std::string>(&attribute.value))
            header.insert(attribute.name, Imf::StringAttribute(*text));
        else if (const auto* whole = std::get_if<int>(&attribute.value))
            header.insert(attribute.name, Imf::IntAttribute(*whole));
        else
            header.insert(attribute.name, Imf::FloatAttribute(std::get<float>(attribute.value)));
    }
    return header;
}

Imf::Header renderedHeader(const Frame& frame) {
    Imf::Header header =
        frame.exr ? frame.exr->header(frame.exr->renderedPart()) : freshHeader(frame);
    Imf::ChannelList channels;
    for (int number = 0; number < ResultChannels; ++number)
        channels.insert(frame.map.names[static_cast<std::size_t>(number)],
                        Imf::Channel(Imf::FLOAT));
    for (const FrameChannel& channel : frame.channels) {
        const ChannelFormat& format = channel.format;
        if (channel.number >= ResultChannels)
            channels.insert(format.name, Imf::Channel(format.type, format.xSampling,
                                                      format.ySampling, format.perceptuallyLinear));
    }
    header.channels() = channels;
    header.compression() = lossless(header.compression());
    if (isTiledPart(header)) {
        // A mip-mapped input's first level is what was rendered.
        const Imf::TileDescription tiles = header.tileDescription();
        header.setTileDescription(
            Imf::TileDescription(tiles.xSize, tiles.ySize, Imf::ONE_LEVEL, tiles.roundingMode));
    }
    // A chunk count the input gave is set anew by the writer (erasing it would leak it).
    return header;
}

Imf::FrameBuffer outputBuffer(Frame& frame) {
    Imf::FrameBuffer buffer;
    const Imath::V2i origin(frame.windows.x, frame.windows.y);
    const auto insert = [&](const std::string& name, Imf::PixelType type, const PlaneSlice& slice,
                            int xSampling, int ySampling) {
        buffer.insert(name, Imf::Slice::Make(type, slice.origin, origin, frame.windows.width,
                                             frame.windows.height, slice.xStride, slice.yStride,
                                             xSampling, ySampling));
    };
    for (int number = 0; number < ResultChannels; ++number)
        insert(frame.map.names[static_cast<std::size_t>(number)], Imf::FLOAT,
               imageSlice(*frame.image, number), 1, 1);
    for (FrameChannel& channel : frame.channels) {
        if (channel.number < ResultChannels)
            continue;
        const ChannelFormat& format = channel.format;
        if (channel.carried >= 0)
            insert(format.name, format.type,
                   carriedSlice(frame.carried[static_cast<std::size_t>(channel.carried)]),
                   format.xSampling, format.ySampling);
        else
            insert(format.name, Imf::FLOAT, imageSlice(*frame.image, channel.number), 1, 1);
    }
    return buffer;
}

void writeRendered(Imf::MultiPartOutputFile& out, int part, Frame& frame) {
    const Imf::FrameBuffer buffer = outputBuffer(frame);
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

// A part the tool did not render, copied without decoding: its bits cannot change.
void copyPart(Imf::MultiPartOutputFile& out, Imf::MultiPartInputFile& in, int part) {
    const std::string type = in.header(part).type();
    if (type == Imf::DEEPSCANLINE) {
        Imf::DeepScanLineInputPart from(in, part);
        Imf::DeepScanLineOutputPart(out, part).copyPixels(from);
    } else if (type == Imf::DEEPTILE) {
        Imf::DeepTiledInputPart from(in, part);
        Imf::DeepTiledOutputPart(out, part).copyPixels(from);
    } else if (type == Imf::TILEDIMAGE) {
        Imf::TiledInputPart from(in, part);
        Imf::TiledOutputPart(out, part).copyPixels(from);
    } else {
        Imf::InputPart from(in, part);
        Imf::OutputPart(out, part).copyPixels(from);
    }
}

// Carried channels are what the tool's result holds there: the source's samples once the tool
// has written its pixels, zeros when it wrote none.
void clearCarriedIfUnwritten(Frame& frame) {
    if (minihost::written(*frame.image))
        return;
    for (CarriedPlane& plane : frame.carried)
        std::memset(plane.bytes.get(), 0, plane.size);
}

void writeFile(const std::string& target, const std::string& shown, Frame& frame) {
    std::vector<Imf::Header> headers;
    const int rendered = frame.exr ? frame.exr->renderedPart() : 0;
    const int parts = frame.exr ? frame.exr->parts() : 1;
    for (int part = 0; part < parts; ++part)
        headers.push_back(part == rendered ? renderedHeader(frame) : frame.exr->header(part));
    ExrWriteStream stream(target, shown);
    {
        Imf::MultiPartOutputFile out(stream, headers.data(), parts, false, minihost::threads());
        for (int part = 0; part < parts; ++part) {
            if (part == rendered)
                writeRendered(out, part, frame);
            else
                copyPart(out, frame.exr->file(), part);
        }
    }
    stream.finish();
}

} // namespace

void writeExr(const std::string& target, const std::string& shown, Frame& frame) {
    clearCarriedIfUnwritten(frame);
    try {
        writeFile(target, shown, frame);
    } catch (const RunError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw RunError(fmt::format("{}: cannot write: out of memory", shown));
    } catch (const std::exception& e) {
        throw RunError(fmt::format("{}: cannot write: {}", shown, oneLine(e.what())));
    }
}

} // namespace umbrix
