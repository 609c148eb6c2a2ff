#include "app/core/FrameSource.h"

#include "app/Failure.h"
#include "app/core/FatalSignal.h"
#include "app/files/ImageFile.h"
#include "app/images/HostImage.h"

#include <algorithm>
#include <fmt/format.h>
#include <new>

namespace umbrix {

namespace {

void checkPlane(std::span<const float> plane, std::size_t pixels, std::size_t perPixel,
                const char* what, const MemoryFrame& planes) {
    if (plane.size() != pixels * perPixel)
        throw UsageError(fmt::format("{}: {} holds {} values; a {}x{} frame needs {}", planes.name,
                                     what, plane.size(), planes.width, planes.height,
                                     pixels * perPixel));
}

} // namespace

FrameNaming frameNaming(const OpenOptions& options) {
    FrameNaming naming;
    for (const std::string& text : options.maps)
        naming.overrides.push_back(parseChannelOverride(text));
    checkChannelOverrides(naming.overrides);
    naming.results = resultNames(options.layer);
    return naming;
}

std::shared_ptr<Frame> openFrame(const std::string& path, const OpenOptions& options) {
    return openFrame(path, frameNaming(options), options.part);
}

std::shared_ptr<Frame> openFrame(const std::string& path, const FrameNaming& naming,
                                 const std::optional<std::string>& part) {
    const ReadingFile reading(path);
    return std::make_shared<Frame>(openFile(path, naming, part));
}

void loadFrame(Frame& frame) {
    const ReadingFile reading(frame.path);
    loadPixels(frame);
}

std::shared_ptr<Frame> frameOfImage(PlainImage image, const std::string& name) {
    return std::make_shared<Frame>(frameOf(std::move(image), name, {}));
}

DepthCamera depthCamera(const Frame& frame, double camFov) {
    if (frame.screen)
        return {screenCamera(frame.windows, *frame.screen),
                fmt::format("the file's screen window (width {}, centre {} {})",
                            frame.screen->width, frame.screen->centreX, frame.screen->centreY)};
    return {fovCamera(frame.windows, camFov),
            fmt::format("CamFOV={} across the display window's width (the file describes no "
                        "camera)",
                        camFov)};
}

void convertDepth(Frame& frame, const DepthConvention& convention, double camFov) {
    if (convention.kind == DepthConvention::Kind::Z)
        return;
    convertFrameDepth(frame, convention, depthCamera(frame, camFov).camera);
}

std::shared_ptr<const Frame> convertedSource(std::shared_ptr<const Frame> frame,
                                             const DepthConvention& convention, double camFov) {
    if (convention.kind == DepthConvention::Kind::Z)
        return frame;
    auto copy = std::make_shared<Frame>();
    copy->path = frame->path;
    copy->windows = frame->windows;
    copy->map = frame->map;
    copy->screen = frame->screen;
    std::vector<int> extra;
    for (const FrameChannel& channel : frame->channels)
        if (toolReads(channel.number) && minihost::stores(*frame->image, channel.number)) {
            copy->channels.push_back({channel.format, channel.number, -1});
            if (channel.number >= ResultChannels)
                extra.push_back(channel.number);
        }
    try {
        copy->image = minihost::makeImage(frame->image->Width, frame->image->Height, extra);
    } catch (const std::bad_alloc&) {
        throw RunError(fmt::format("{}: out of memory while rendering", frame->path), frame->path);
    }
    for (const int number : minihost::channels(*copy->image))
        for (int y = 0; y < copy->image->Height; ++y)
            for (int x = 0; x < copy->image->Width; ++x)
                minihost::sample(*copy->image, x, y, number) =
                    minihost::sample(*frame->image, x, y, number);
    convertDepth(*copy, convention, camFov);
    return copy;
}

std::shared_ptr<Frame> frameFromMemory(const MemoryFrame& planes) {
    if (planes.width <= 0 || planes.height <= 0)
        throw UsageError(fmt::format("{}: a frame needs a width and height above 0, not {}x{}",
                                     planes.name, planes.width, planes.height));
    const auto pixels =
        static_cast<std::size_t>(planes.width) * static_cast<std::size_t>(planes.height);
    checkPlane(planes.depth, pixels, 1, "depth", planes);
    PlainImage image;
    image.windows = {0, 0, planes.width, planes.height, 0, 0, planes.width, planes.height};
    std::vector<std::pair<std::span<const float>, std::size_t>> sources;
    if (!planes.rgba.empty()) {
        checkPlane(planes.rgba, pixels, 4, "rgba", planes);
        image.channels = {"R", "G", "B", "A"};
        sources.emplace_back(planes.rgba, 4);
    }
    image.channels.push_back("Z");
    sources.emplace_back(planes.depth, 1);
    if (!planes.normal.empty()) {
        checkPlane(planes.normal, pixels, 3, "normal", planes);
        for (const char* name : {"N.X", "N.Y", "N.Z"})
            image.channels.push_back(name);
        sources.emplace_back(planes.normal, 3);
    }
    const std::size_t count = image.channels.size();
    image.pixels = std::make_unique_for_overwrite<float[]>(pixels * count);
    for (std::size_t p = 0; p < pixels; ++p) {
        float* to = image.pixels.get() + p * count;
        for (const auto& [plane, width] : sources)
            to = std::copy_n(plane.data() + p * width, width, to);
    }
    return std::make_shared<Frame>(frameOf(std::move(image), planes.name, {}));
}

std::vector<float> sourcePixels(const Frame& frame, const std::vector<int>& numbers) {
    const Image& image = *frame.image;
    const std::size_t pixels =
        static_cast<std::size_t>(image.Width) * static_cast<std::size_t>(image.Height);
    std::vector<float> gathered(pixels * numbers.size());
    for (std::size_t c = 0; c < numbers.size(); ++c) {
        // A channel the image does not store reads as 0.
        if (!minihost::stores(image, numbers[c]))
            continue;
        const std::vector<float> plane = gatherPixels(image, {numbers[c]});
        for (std::size_t p = 0; p < pixels; ++p)
            gathered[p * numbers.size() + c] = plane[p];
    }
    return gathered;
}

} // namespace umbrix
