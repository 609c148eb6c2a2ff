#include "app/files/ExrPartCopy.h"

#include "app/Failure.h"
#include "app/files/ExrInput.h"

#include <OpenEXR/ImfDeepScanLineInputPart.h>
#include <OpenEXR/ImfDeepScanLineOutputPart.h>
#include <OpenEXR/ImfDeepTiledInputPart.h>
#include <OpenEXR/ImfDeepTiledOutputPart.h>
#include <OpenEXR/ImfInputPart.h>
#include <OpenEXR/ImfMultiPartOutputFile.h>
#include <OpenEXR/ImfOutputPart.h>
#include <OpenEXR/ImfPartType.h>
#include <OpenEXR/ImfTiledInputPart.h>
#include <OpenEXR/ImfTiledOutputPart.h>
#include <cstdint>
#include <fmt/format.h>

namespace umbrix {

namespace {

// Scan lines in one chunk of a deep part, by its compression (the only ones deep data takes).
int deepChunkLines(Imf::Compression compression) {
    return compression == Imf::ZIP_COMPRESSION ? 16 : 1;
}

// OpenEXR copies a deep chunk into a buffer of the size the chunk declares, before it finds the
// file too short for it: a few bytes could make it ask for exabytes. Every chunk is asked its size
// first, and one larger than the file is refused.
void checkChunkSize(std::uint64_t declared, std::uint64_t fileSize, const std::string& path) {
    if (declared > fileSize)
        throw RunError(fmt::format("{}: cannot read: a deep chunk declares {} bytes, more than "
                                   "the file's {}",
                                   path, declared, fileSize),
                       path);
}

void checkDeepChunks(Imf::DeepScanLineInputPart& from, std::uint64_t fileSize,
                     const std::string& path) {
    const Imath::Box2i& data = from.header().dataWindow();
    const int step = deepChunkLines(from.header().compression());
    for (std::int64_t y = data.min.y; y <= data.max.y; y += step) {
        std::uint64_t size = 0;
        from.rawPixelData(static_cast<int>(y), nullptr, size);
        checkChunkSize(size, fileSize, path);
    }
}

void checkDeepChunks(Imf::DeepTiledInputPart& from, std::uint64_t fileSize,
                     const std::string& path) {
    for (int ly = 0; ly < from.numYLevels(); ++ly)
        for (int lx = 0; lx < from.numXLevels(); ++lx) {
            if (!from.isValidLevel(lx, ly))
                continue;
            for (int ty = 0; ty < from.numYTiles(ly); ++ty)
                for (int tx = 0; tx < from.numXTiles(lx); ++tx) {
                    int dx = tx, dy = ty, levelX = lx, levelY = ly;
                    std::uint64_t size = 0;
                    from.rawTileData(dx, dy, levelX, levelY, nullptr, size);
                    checkChunkSize(size, fileSize, path);
                }
        }
}

} // namespace

void copyPart(Imf::MultiPartOutputFile& out, ExrSource& source, int part, const std::string& path) {
    Imf::MultiPartInputFile& in = source.file();
    const std::string type = in.header(part).type();
    if (type == Imf::DEEPSCANLINE) {
        Imf::DeepScanLineInputPart from(in, part);
        checkDeepChunks(from, source.fileSize(), path);
        Imf::DeepScanLineOutputPart(out, part).copyPixels(from);
    } else if (type == Imf::DEEPTILE) {
        Imf::DeepTiledInputPart from(in, part);
        checkDeepChunks(from, source.fileSize(), path);
        Imf::DeepTiledOutputPart(out, part).copyPixels(from);
    } else if (type == Imf::TILEDIMAGE) {
        Imf::TiledInputPart from(in, part);
        Imf::TiledOutputPart(out, part).copyPixels(from);
    } else {
        Imf::InputPart from(in, part);
        Imf::OutputPart(out, part).copyPixels(from);
    }
}

} // namespace umbrix
