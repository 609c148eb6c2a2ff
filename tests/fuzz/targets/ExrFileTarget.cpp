// An EXR file through the whole read path a render takes (open, pre-scan of the header, choice
// of part, channel mapping, planes loaded) and written back out as a render's output is.

#include "app/Failure.h"
#include "app/core/FrameSource.h"
#include "app/core/MultiView.h"
#include "app/core/Output.h"
#include "app/core/Tool.h"
#include "app/files/CodecThreads.h"
#include "app/files/ExrInput.h"
#include "tests/fuzz/FuzzSupport.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfTileDescription.h>
#include <cstdint>

namespace {

// An input may declare any size, and the program reads what fits in the machine's memory; these
// keep one input to a megabyte or so. A larger picture takes the paths a small one takes, only
// slower, and a mutated header's sizes run to the limit more often than not: at tens of
// megabytes an input, a run tried a quarter of the inputs it tries now.
constexpr std::int64_t MostSamples = std::int64_t{1} << 18;     // a part's samples, all channels
constexpr std::int64_t MostTileSamples = std::int64_t{1} << 16; // one tile's

struct TooLarge {};

std::int64_t channelCount(const Imf::Header& header) {
    std::int64_t count = 0;
    for (auto it = header.channels().begin(); it != header.channels().end(); ++it)
        ++count;
    return count;
}

// Every part, as the others are copied whole into the output.
void refuseLarge(const umbrix::Frame& frame) {
    const umbrix::ExrSource* source = umbrix::exrSourceOf(frame);
    if (!source)
        return;
    for (int part = 0; part < source->parts(); ++part) {
        const Imf::Header& header = source->header(part);
        const Imath::Box2i& data = header.dataWindow();
        const std::int64_t width = std::int64_t{data.max.x} - data.min.x + 1;
        const std::int64_t height = std::int64_t{data.max.y} - data.min.y + 1;
        const std::int64_t channels = std::max<std::int64_t>(channelCount(header), 1);
        if (width * height > MostSamples / channels)
            throw TooLarge();
        if (header.hasTileDescription()) {
            const Imf::TileDescription& tiles = header.tileDescription();
            if (std::int64_t{tiles.xSize} * tiles.ySize > MostTileSamples / channels)
                throw TooLarge();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool started = [] {
        umbrix::useThreads(2);
        return true;
    }();
    (void)started;
    const std::string input = fuzzsupport::scratchFile("input.exr", data, size);
    // Other formats go to OpenImageIO, which is fuzzed on its own.
    if (!umbrix::looksLikeExr(input))
        return 0;
    try {
        const std::shared_ptr<umbrix::Frame> frame =
            umbrix::openFrame(input, umbrix::OpenOptions{});
        refuseLarge(*frame);
        umbrix::loadFrame(*frame);
        // Both passes off: what is read is written back as it is, at no cost of rendering.
        umbrix::ControlValues values = fuzzsupport::tool().defaults();
        values.set("UseNormals", 0.0, "fuzz");
        umbrix::Rendered result = fuzzsupport::tool().render(frame, values);
        umbrix::renderOtherViews(fuzzsupport::tool(), result, values, 0.0,
                                 umbrix::DepthConvention{});
        const std::string output = fuzzsupport::scratchPath("output.exr");
        umbrix::writeResult(output, umbrix::formatOf(output), result, {}, values);
    } catch (const umbrix::UsageError& e) {
        fuzzsupport::checkMessage(e);
    } catch (const umbrix::RunError& e) {
        fuzzsupport::checkMessage(e);
    } catch (const TooLarge&) {
    }
    return 0;
}
