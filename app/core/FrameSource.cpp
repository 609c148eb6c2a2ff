#include "app/core/FrameSource.h"

#include "app/Failure.h"
#include "app/core/FatalSignal.h"
#include "app/files/CodecThreads.h"
#include "app/files/ImageFile.h"
#include "app/images/HostImage.h"

#include <algorithm>
#include <cstring>
#include <fmt/format.h>
#include <initializer_list>
#include <new>

namespace umbrix {

namespace {

void checkSize(int width, int height, const std::string& name) {
    if (width <= 0 || height <= 0)
        throw UsageError(fmt::format("{}: a frame needs a width and height above 0, not {}x{}",
                                     name, width, height));
}

void checkPlane(std::span<const float> plane, std::size_t pixels, std::size_t perPixel,
                const char* what, const MemoryFrame& planes) {
    if (plane.size() != pixels * perPixel)
        throw UsageError(fmt::format("{}: {} holds {} values; a {}x{} frame needs {}", planes.name,
                                     what, plane.size(), planes.width, planes.height,
                                     pixels * perPixel));
}

// An array and the image channels its components fill, in order.
struct Filling {
    const ArrayPlane* from = nullptr;
    std::size_t components = 0;
    std::vector<int> numbers;
};

// Whether the array's pixels are this machine's 32-bit floats side by side as the image's
// channels are, so that a row is one copy.
bool sideBySide(const Filling& filling, const Image& image) {
    const ArrayPlane& from = *filling.from;
    const auto components = static_cast<std::ptrdiff_t>(filling.numbers.size());
    const auto sample = static_cast<std::ptrdiff_t>(sizeof(float));
    const minihost::ChannelLayout<const float> first = minihost::layout(image, filling.numbers[0]);
    if (from.type != SampleType::Float || from.swapped || from.strides[2] != sample ||
        from.strides[1] != components * sample || first.pixelStride != from.strides[1])
        return false;
    for (std::ptrdiff_t k = 1; k < components; ++k)
        if (minihost::layout(image, filling.numbers[static_cast<std::size_t>(k)]).first !=
            first.first + k)
            return false;
    return true;
}

// Rows [first, last), every component in one pass: the image's channels of a pixel lie side by
// side, so a pass per component would read and write all of both once per component.
void fillRows(const Filling& filling, Image& image, int first, int last) {
    const ArrayPlane& from = *filling.from;
    if (sideBySide(filling, image)) {
        const minihost::ChannelLayout<float> to = minihost::layout(image, filling.numbers[0]);
        const auto bytes = static_cast<std::size_t>(image.Width * from.strides[1]);
        for (int y = first; y < last; ++y)
            std::memcpy(reinterpret_cast<char*>(to.first) + y * to.rowStride,
                        from.data + y * from.strides[0], bytes);
        return;
    }
    std::vector<minihost::ChannelLayout<float>> to;
    for (int number : filling.numbers)
        to.push_back(minihost::layout(image, number));
    for (int y = first; y < last; ++y)
        for (std::size_t k = 0; k < to.size(); ++k)
            samplesAsFloats(from.data + y * from.strides[0] +
                                static_cast<std::ptrdiff_t>(k) * from.strides[2],
                            from.strides[1], from.type, from.swapped,
                            reinterpret_cast<char*>(to[k].first) + y * to[k].rowStride,
                            to[k].pixelStride, static_cast<std::size_t>(image.Width));
}

void clearRows(Image& image, int number, int first, int last) {
    const minihost::ChannelLayout<float> to = minihost::layout(image, number);
    for (int y = first; y < last; ++y)
        for (int x = 0; x < image.Width; ++x)
            *reinterpret_cast<float*>(reinterpret_cast<char*>(to.first) + y * to.rowStride +
                                      x * to.pixelStride) = 0.0f;
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
    for (std::size_t v = 0; v < frame.views.size(); ++v)
        if (rendersFromPart(frame, v))
            convertDepth(*frame.views[v].frame, convention, camFov);
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
        throw RunError(fmt::format("{}: out of memory while rendering", frame->path), frame->path,
                       std::nullopt, RunError::Cause::Memory);
    }
    for (const int number : minihost::channels(*copy->image))
        copyChannel(*frame->image, *copy->image, number);
    convertDepth(*copy, convention, camFov);
    return copy;
}

std::shared_ptr<Frame> frameFromArrays(const ArrayFrame& arrays, const KeptImage& kept) {
    checkSize(arrays.width, arrays.height, arrays.name);
    auto frame = std::make_shared<Frame>();
    frame->path = arrays.name;
    frame->windows = {0, 0, arrays.width, arrays.height, 0, 0, arrays.width, arrays.height};
    std::vector<ChannelFormat> formats;
    std::vector<Filling> fillings;
    const auto given = [&](const ArrayPlane& plane, std::initializer_list<const char*> names) {
        fillings.push_back({&plane, names.size(), {}});
        for (const char* name : names)
            formats.push_back({name});
    };
    if (arrays.rgba.data)
        given(arrays.rgba, {"R", "G", "B", "A"});
    given(arrays.depth, {"Z"});
    if (arrays.normal.data)
        given(arrays.normal, {"N.X", "N.Y", "N.Z"});
    mapFrame(*frame, formats, {});
    std::vector<int> stored = {0, 1, 2, 3};
    std::size_t next = 0;
    for (Filling& filling : fillings)
        for (std::size_t k = 0; k < filling.components; ++k)
            filling.numbers.push_back(frame->channels[next++].number);
    for (const FrameChannel& channel : frame->channels)
        if (channel.number >= ResultChannels)
            stored.push_back(channel.number);
    // No guess at whether the frame fits, as for a file's header: the arrays are in memory.
    try {
        minihost::ImagePtr image = kept ? kept(arrays.width, arrays.height, stored) : nullptr;
        if (image && (image->Width != arrays.width || image->Height != arrays.height ||
                      minihost::channels(*image) != stored))
            image.reset();
        const bool reused = image != nullptr;
        if (!reused)
            image = minihost::makeImage(
                arrays.width, arrays.height,
                std::vector<int>(stored.begin() + ResultChannels, stored.end()));
        constexpr int BlockRows = 32;
        runOnHostPool((arrays.height + BlockRows - 1) / BlockRows, [&](int block) {
            const int first = block * BlockRows;
            const int last = std::min(arrays.height, first + BlockRows);
            for (const Filling& filling : fillings)
                fillRows(filling, *image, first, last);
            // A kept image holds its last frame's R G B A, which a frame without them must not.
            if (reused && !arrays.rgba.data)
                for (int number = 0; number < ResultChannels; ++number)
                    clearRows(*image, number, first, last);
        });
        frame->image = std::move(image);
    } catch (const std::bad_alloc&) {
        throw RunError(fmt::format("{}: out of memory for the arrays' image", arrays.name), {},
                       std::nullopt, RunError::Cause::Memory);
    }
    return frame;
}

std::shared_ptr<Frame> frameFromMemory(const MemoryFrame& planes) {
    checkSize(planes.width, planes.height, planes.name);
    const auto width = static_cast<std::size_t>(planes.width);
    const std::size_t pixels = width * static_cast<std::size_t>(planes.height);
    const auto plane = [width](std::span<const float> values, std::size_t components) {
        const auto sample = static_cast<std::ptrdiff_t>(sizeof(float));
        const auto perPixel = static_cast<std::ptrdiff_t>(components) * sample;
        return ArrayPlane{reinterpret_cast<const char*>(values.data()),
                          SampleType::Float,
                          false,
                          {static_cast<std::ptrdiff_t>(width) * perPixel, perPixel, sample}};
    };
    ArrayFrame arrays{planes.width, planes.height, {}, {}, {}, planes.name};
    checkPlane(planes.depth, pixels, 1, "depth", planes);
    arrays.depth = plane(planes.depth, 1);
    if (!planes.rgba.empty()) {
        checkPlane(planes.rgba, pixels, 4, "rgba", planes);
        arrays.rgba = plane(planes.rgba, 4);
    }
    if (!planes.normal.empty()) {
        checkPlane(planes.normal, pixels, 3, "normal", planes);
        arrays.normal = plane(planes.normal, 3);
    }
    return frameFromArrays(arrays);
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
