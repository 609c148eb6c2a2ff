#include "app/ResultFile.h"

#include "app/Failure.h"
#include "app/HostImage.h"

#include <algorithm>
#include <fmt/format.h>
#include <memory>
#include <new>

namespace umbrix {

namespace {

// Lossy compression would change the carried channels, so it gives way to zip.
std::string losslessCompression(const OIIO::ImageSpec& source) {
    const std::string given = source.get_string_attribute("compression", "zip");
    for (const char* lossless : {"none", "rle", "zips", "zip", "piz"})
        if (given == lossless)
            return given;
    return "zip";
}

std::vector<int> writtenChannels(const Image& result, const OutputFormat& format) {
    const std::vector<int>& stored = minihost::channels(result);
    if (format.everyChannel)
        return stored;
    return format.alpha ? std::vector<int>{0, 1, 2, 3} : std::vector<int>{0, 1, 2};
}

OIIO::ImageSpec resultSpec(const RenderedImage& rendered, const OutputFormat& format,
                           const std::vector<int>& written) {
    OIIO::ImageSpec header = rendered.source;
    header.set_format(OIIO::TypeDesc::FLOAT);
    header.channelformats.clear();
    header.nchannels = static_cast<int>(written.size());
    header.channelnames.clear();
    for (int number : written)
        header.channelnames.push_back(rendered.channels.names[static_cast<std::size_t>(number)]);
    const auto at = [&](int number) {
        const auto found = std::find(written.begin(), written.end(), number);
        return found == written.end() ? -1 : static_cast<int>(found - written.begin());
    };
    header.alpha_channel = at(3);
    header.z_channel = at(DepthChannel);
    header.erase_attribute("oiio:BitsPerSample");
    if (format.everyChannel) {
        header.attribute("compression", losslessCompression(rendered.source));
    } else {
        // Channel 3 holds occlusion, not coverage: nothing may divide by it.
        header.attribute("oiio:UnassociatedAlpha", 1);
        header.erase_attribute("compression");
        header.tile_width = header.tile_height = header.tile_depth = 0;
    }
    if (!format.origin) {
        header.x = header.y = header.full_x = header.full_y = 0;
        header.full_width = header.width;
        header.full_height = header.height;
    }
    return header;
}

std::unique_ptr<float[]> gathered(const Image& result, const std::vector<int>& written,
                                  const std::string& path) {
    const std::size_t count = static_cast<std::size_t>(result.Width) *
                              static_cast<std::size_t>(result.Height) * written.size();
    try {
        auto pixels = std::make_unique_for_overwrite<float[]>(count);
        gatherPixels(result, written, pixels.get());
        return pixels;
    } catch (const std::bad_alloc&) {
        throw RunError(fmt::format("{}: out of memory while writing", path));
    }
}

std::vector<std::string> droppedNames(const RenderedImage& rendered,
                                      const std::vector<int>& written) {
    std::vector<std::string> dropped;
    for (int number : minihost::channels(*rendered.result))
        if (std::find(written.begin(), written.end(), number) == written.end())
            dropped.push_back(rendered.channels.names[static_cast<std::size_t>(number)]);
    return dropped;
}

} // namespace

std::vector<std::string> writeResult(const std::string& path, const OutputFormat& format,
                                     const RenderedImage& rendered) {
    const Image& result = *rendered.result;
    const std::vector<int> written = writtenChannels(result, format);
    const OIIO::ImageSpec header = resultSpec(rendered, format, written);
    const auto pixels = gathered(result, written, path);
    writeImageFile(path, header, OIIO::TypeDesc::FLOAT, pixels.get());
    return droppedNames(rendered, written);
}

} // namespace umbrix
