#include "app/images/HostImage.h"

#include <cstring>

namespace umbrix {

Frame frameOf(PlainImage image, const std::string& path, const FrameNaming& naming) {
    Frame frame;
    frame.path = path;
    frame.windows = image.windows;
    frame.metadata = std::move(image.metadata);
    std::vector<ChannelFormat> formats;
    for (const std::string& name : image.channels)
        formats.push_back({name});
    mapFrame(frame, formats, naming);
    allocateFrame(frame);
    const std::size_t count = image.channels.size();
    const auto width = static_cast<std::size_t>(frame.windows.width);
    for (std::size_t c = 0; c < count; ++c) {
        FrameChannel& channel = frame.channels[c];
        const PlaneSlice slice =
            channel.carried >= 0
                ? carriedSlice(frame.carried[static_cast<std::size_t>(channel.carried)])
                : imageSlice(*frame.image, channel.number);
        for (int y = 0; y < frame.windows.height; ++y) {
            const float* from =
                image.pixels.get() + static_cast<std::size_t>(y) * width * count + c;
            char* to = slice.origin + static_cast<std::size_t>(y) * slice.yStride;
            for (std::size_t x = 0; x < width; ++x, from += count, to += slice.xStride)
                std::memcpy(to, from, sizeof(float));
        }
    }
    return frame;
}

std::vector<float> gatherPixels(const Image& image, const std::vector<int>& numbers) {
    const auto width = static_cast<std::size_t>(image.Width);
    const std::size_t count = numbers.size();
    std::vector<float> pixels(width * static_cast<std::size_t>(image.Height) * count);
    for (std::size_t c = 0; c < count; ++c) {
        const auto plane = minihost::layout(image, numbers[c]);
        const auto* rows = reinterpret_cast<const char*>(plane.first);
        for (int y = 0; y < image.Height; ++y) {
            const char* from = rows + std::ptrdiff_t{y} * plane.rowStride;
            float* to = pixels.data() + static_cast<std::size_t>(y) * width * count + c;
            for (std::size_t x = 0; x < width; ++x, from += plane.pixelStride, to += count)
                std::memcpy(to, from, sizeof(float));
        }
    }
    return pixels;
}

} // namespace umbrix
