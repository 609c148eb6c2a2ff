#include "app/images/Frame.h"

#include "app/Failure.h"
#include "app/images/MemoryBudget.h"

#include <Imath/half.h>
#include <cstdint>
#include <cstring>
#include <fmt/format.h>
#include <new>

namespace umbrix {

namespace {

std::size_t sampleBytes(SampleType type) {
    return type == SampleType::Half ? sizeof(std::uint16_t) : sizeof(float);
}

// Multiples of `step` from `low` to `high`: the samples a subsampled channel has along one axis.
std::size_t samplesBetween(int low, int high, int step) {
    const auto floorDiv = [step](int value) {
        return value >= 0 ? value / step : -((-value + step - 1) / step);
    };
    const int first = -floorDiv(-low); // ceiling
    const int last = floorDiv(high);
    return last >= first ? static_cast<std::size_t>(last - first + 1) : 0;
}

CarriedPlane carriedPlane(const Windows& windows, const ChannelFormat& format,
                          const std::string& path) {
    const std::size_t width =
        samplesBetween(windows.x, windows.x + windows.width - 1, format.xSampling);
    const std::size_t height =
        samplesBetween(windows.y, windows.y + windows.height - 1, format.ySampling);
    CarriedPlane plane;
    plane.xStride = sampleBytes(format.type);
    plane.yStride = plane.xStride * width;
    plane.size = plane.yStride * height;
    try {
        plane.bytes = std::make_unique_for_overwrite<char[]>(plane.size);
    } catch (const std::bad_alloc&) {
        throw RunError(fmt::format("{}: image too large: out of memory for {}x{}", path,
                                   windows.width, windows.height),
                       path);
    }
    return plane;
}

void checkFullResolution(const ChannelFormat& format, const std::string& path) {
    if (format.xSampling != 1 || format.ySampling != 1)
        throw RunError(fmt::format("{}: channel '{}' is subsampled ({}x{}); the tool needs it at "
                                   "full resolution",
                                   path, format.name, format.xSampling, format.ySampling),
                       path);
}

} // namespace

bool toolReads(int number) {
    return (number >= 0 && number <= DepthChannel) ||
           (number >= SuppliedNormalX && number < SuppliedNormalX + NormalComponents);
}

void mapFrame(Frame& frame, const std::vector<ChannelFormat>& channels, const FrameNaming& naming) {
    std::vector<std::string> names;
    for (const ChannelFormat& format : channels)
        names.push_back(format.name);
    frame.map = mapChannels(names, naming.overrides, frame.path, naming.results);
    frame.channels.clear();
    for (std::size_t i = 0; i < channels.size(); ++i) {
        FrameChannel channel{channels[i], frame.map.numbers[i], -1};
        if (toolReads(channel.number))
            checkFullResolution(channel.format, frame.path);
        frame.channels.push_back(std::move(channel));
    }
}

void allocateFrame(Frame& frame) {
    const Windows& windows = frame.windows;
    checkFrameFits(static_cast<std::size_t>(windows.width),
                   static_cast<std::size_t>(windows.height), frame.channels.size(), frame.path);
    std::vector<int> extra;
    for (FrameChannel& channel : frame.channels) {
        const bool inImage = toolReads(channel.number);
        if (inImage && channel.number >= ResultChannels)
            extra.push_back(channel.number);
        if (!inImage || channel.format.type != SampleType::Float) {
            channel.carried = static_cast<int>(frame.carried.size());
            frame.carried.push_back(carriedPlane(windows, channel.format, frame.path));
        }
    }
    try {
        frame.image = minihost::makeImage(windows.width, windows.height, extra);
    } catch (const std::bad_alloc&) {
        throw RunError(fmt::format("{}: image too large: out of memory for {}x{}", frame.path,
                                   windows.width, windows.height),
                       frame.path);
    }
}

void fillFromCarried(Frame& frame, const FrameChannel& channel) {
    const CarriedPlane& plane = frame.carried[static_cast<std::size_t>(channel.carried)];
    const PlaneSlice target = imageSlice(*frame.image, channel.number);
    for (int y = 0; y < frame.windows.height; ++y) {
        const char* from = plane.bytes.get() + static_cast<std::size_t>(y) * plane.yStride;
        char* to = target.origin + static_cast<std::size_t>(y) * target.yStride;
        for (int x = 0; x < frame.windows.width; ++x, from += plane.xStride, to += target.xStride) {
            const float value = sampleAsFloat(from, channel.format.type);
            std::memcpy(to, &value, sizeof value);
        }
    }
}

void convertFrameDepth(Frame& frame, const DepthConvention& convention, const RayCamera& camera) {
    if (convention.kind == DepthConvention::Kind::Z)
        return;
    for (FrameChannel& channel : frame.channels) {
        if (channel.number != DepthChannel)
            continue;
        const PlaneSlice depth = imageSlice(*frame.image, DepthChannel);
        if (channel.carried < 0) {
            CarriedPlane kept = carriedPlane(frame.windows, channel.format, frame.path);
            for (int y = 0; y < frame.windows.height; ++y) {
                const char* from = depth.origin + static_cast<std::size_t>(y) * depth.yStride;
                char* to = kept.bytes.get() + static_cast<std::size_t>(y) * kept.yStride;
                for (int x = 0; x < frame.windows.width;
                     ++x, from += depth.xStride, to += kept.xStride)
                    std::memcpy(to, from, sizeof(float));
            }
            channel.carried = static_cast<int>(frame.carried.size());
            frame.carried.push_back(std::move(kept));
        }
        convertDepthSamples(depth.origin, depth.xStride, depth.yStride, frame.windows, convention,
                            camera);
    }
}

float sampleAsFloat(const char* sample, SampleType type) {
    if (type == SampleType::Half) {
        std::uint16_t bits = 0;
        std::memcpy(&bits, sample, sizeof bits);
        return static_cast<float>(Imath::half(Imath::half::FromBits, bits));
    }
    if (type == SampleType::Uint) {
        std::uint32_t whole = 0;
        std::memcpy(&whole, sample, sizeof whole);
        return static_cast<float>(whole);
    }
    float value = 0.0f;
    std::memcpy(&value, sample, sizeof value);
    return value;
}

// The file writers take non-const slices, though they only read.
PlaneSlice imageSlice(const Image& image, int number) {
    const auto found = minihost::layout(image, number);
    return {reinterpret_cast<char*>(const_cast<float*>(found.first)),
            static_cast<std::size_t>(found.pixelStride), static_cast<std::size_t>(found.rowStride)};
}

PlaneSlice carriedSlice(const CarriedPlane& plane) {
    return {plane.bytes.get(), plane.xStride, plane.yStride};
}

} // namespace umbrix
