#include "app/RenderedImage.h"

#include "app/Failure.h"
#include "app/HostImage.h"

#include <fmt/format.h>
#include <new>
#include <stdexcept>

namespace umbrix {

namespace {

minihost::ImagePtr hostImage(const OIIO::ImageSpec& header, const ChannelMap& map,
                             const std::string& name) {
    try {
        return minihost::makeImage(header.width, header.height, map.extra);
    } catch (const std::bad_alloc&) {
        throw RunError(fmt::format("{}: image too large: out of memory for {}x{}", name,
                                   header.width, header.height));
    }
}

} // namespace

RenderedImage renderImage(ToolSession& tool, FileImage image,
                          const std::vector<ChannelOverride>& overrides, const std::string& name,
                          double time) {
    RenderedImage rendered{std::move(image.header), {}, nullptr};
    rendered.channels = mapChannels(rendered.source.channelnames, overrides, name);
    minihost::ImagePtr source = hostImage(rendered.source, rendered.channels, name);
    scatterPixels(image.pixels.get(), rendered.channels.numbers, *source);
    image.pixels.reset();
    try {
        rendered.result = tool.render(*source, time);
    } catch (const std::bad_alloc&) {
        throw RunError(fmt::format("{}: out of memory while rendering", name));
    }
    return rendered;
}

} // namespace umbrix
