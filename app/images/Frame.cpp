#include "app/images/Frame.h"

#include "app/Failure.h"
#include "app/images/MemoryBudget.h"

#include <Imath/half.h>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <fmt/format.h>
#include <new>
#include <type_traits>

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
                       path, std::nullopt, RunError::Cause::Memory);
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

// The overrides a view takes: those naming its own channels, or no channel of the file (which
// mapChannels refuses).
std::vector<ChannelOverride> viewOverrides(const std::vector<ChannelOverride>& overrides,
                                           const std::vector<ChannelFormat>& channels,
                                           const ViewLayout& layout, std::size_t view) {
    std::vector<ChannelOverride> taken;
    for (const ChannelOverride& override : overrides) {
        const auto found =
            std::find_if(channels.begin(), channels.end(),
                         [&](const ChannelFormat& c) { return c.name == override.name; });
        if (found == channels.end() ||
            layout.viewOf[static_cast<std::size_t>(found - channels.begin())] == view)
            taken.push_back(override);
    }
    return taken;
}

void copyPlane(const CarriedPlane& plane, SampleType type, Image& image, int number,
               const Windows& windows) {
    const PlaneSlice target = imageSlice(image, number);
    for (int y = 0; y < windows.height; ++y) {
        const char* from = plane.bytes.get() + static_cast<std::size_t>(y) * plane.yStride;
        char* to = target.origin + static_cast<std::size_t>(y) * target.yStride;
        for (int x = 0; x < windows.width; ++x, from += plane.xStride, to += target.xStride) {
            const float value = sampleAsFloat(from, type);
            std::memcpy(to, &value, sizeof value);
        }
    }
}

template <typename Stored, bool Swapped> Stored loaded(const char* at) {
    Stored value;
    if constexpr (Swapped) {
        std::array<char, sizeof value> bytes;
        std::reverse_copy(at, at + sizeof value, bytes.begin());
        std::memcpy(&value, bytes.data(), sizeof value);
    } else {
        std::memcpy(&value, at, sizeof value);
    }
    return value;
}

// The one conversion of a stored sample to the tool's 32-bit float.
template <SampleType Type, bool Swapped> float converted(const char* at) {
    if constexpr (Type == SampleType::Half)
        return static_cast<float>(
            Imath::half(Imath::half::FromBits, loaded<std::uint16_t, Swapped>(at)));
    else if constexpr (Type == SampleType::Uint)
        return static_cast<float>(loaded<std::uint32_t, Swapped>(at));
    else if constexpr (Type == SampleType::Double)
        return static_cast<float>(loaded<double, Swapped>(at));
    else if constexpr (Type == SampleType::LongDouble)
        return static_cast<float>(loaded<long double, Swapped>(at));
    else
        return loaded<float, Swapped>(at);
}

template <SampleType Type, bool Swapped>
void convertedRow(const char* from, std::ptrdiff_t fromStride, char* to, std::ptrdiff_t toStride,
                  std::size_t count) {
    for (std::size_t k = 0; k < count; ++k, from += fromStride, to += toStride) {
        const float value = converted<Type, Swapped>(from);
        std::memcpy(to, &value, sizeof value);
    }
}

template <SampleType Type> using TypeConstant = std::integral_constant<SampleType, Type>;

// use(type, swapped) with both as compile-time constants, so that a row converts without a choice
// per sample.
template <typename Use> auto byType(SampleType type, bool swapped, const Use& use) {
    const auto inOrder = [swapped, &use](auto typed) {
        return swapped ? use(typed, std::true_type{}) : use(typed, std::false_type{});
    };
    switch (type) {
    case SampleType::Uint:
        return inOrder(TypeConstant<SampleType::Uint>{});
    case SampleType::Half:
        return inOrder(TypeConstant<SampleType::Half>{});
    case SampleType::Double:
        return inOrder(TypeConstant<SampleType::Double>{});
    case SampleType::LongDouble:
        return inOrder(TypeConstant<SampleType::LongDouble>{});
    case SampleType::Float:
        break;
    }
    return inOrder(TypeConstant<SampleType::Float>{});
}

minihost::ImagePtr newImage(const Windows& windows, const std::vector<int>& extra,
                            const std::string& path) {
    try {
        return minihost::makeImage(windows.width, windows.height, extra);
    } catch (const std::bad_alloc&) {
        throw RunError(fmt::format("{}: image too large: out of memory for {}x{}", path,
                                   windows.width, windows.height),
                       path, std::nullopt, RunError::Cause::Memory);
    }
}

// Whether --view chooses the view, and whether it is rendered: chosen, with depth.
void chooseView(FrameView& view, const FrameNaming& naming) {
    view.chosen = naming.views.empty() || std::find(naming.views.begin(), naming.views.end(),
                                                    view.name) != naming.views.end();
    view.rendered = view.chosen && view.map.hasDepth;
}

// The view the frame's source image holds: the first rendered; when no chosen view has depth, the
// first chosen, rendered as a single view would be.
void choosePrimary(Frame& frame) {
    const auto first = [&](auto&& take) {
        const auto found = std::find_if(frame.views.begin(), frame.views.end(), take);
        return found == frame.views.end() ? std::size_t{0}
                                          : static_cast<std::size_t>(found - frame.views.begin());
    };
    frame.primary = first([](const FrameView& v) { return v.rendered; });
    if (!frame.views[frame.primary].rendered) {
        frame.primary = first([](const FrameView& v) { return v.chosen; });
        frame.views[frame.primary].rendered = true;
    }
}

} // namespace

bool rendersApart(const Frame& frame, std::size_t view) {
    return view != frame.primary && frame.views[view].rendered;
}

bool rendersFromPart(const Frame& frame, std::size_t view) {
    return rendersApart(frame, view) && frame.views[view].frame != nullptr;
}

std::size_t mapPartViews(Frame& frame, std::vector<PartView> views, const FrameNaming& naming) {
    std::vector<std::string> names;
    for (const PartView& view : views)
        names.push_back(view.name);
    for (const std::string& wanted : naming.views)
        if (std::find(names.begin(), names.end(), wanted) == names.end())
            throw UsageError(fmt::format("--view {}: {} has no view of that name (it has {})",
                                         wanted, frame.path, fmt::join(names, ", ")));
    const auto holds = [](const PartView& view, const std::string& name) {
        return std::any_of(view.channels.begin(), view.channels.end(),
                           [&](const ChannelFormat& c) { return c.name == name; });
    };
    frame.views.clear();
    for (const PartView& part : views) {
        // An override is the parts' that hold its channel; one naming no channel of any part is
        // given to each, which refuses it.
        FrameNaming own = naming;
        own.overrides.clear();
        for (const ChannelOverride& override : naming.overrides)
            if (holds(part, override.name) ||
                std::none_of(views.begin(), views.end(),
                             [&](const PartView& v) { return holds(v, override.name); }))
                own.overrides.push_back(override);
        std::vector<std::string> channelNames;
        for (const ChannelFormat& format : part.channels)
            channelNames.push_back(format.name);
        FrameView view;
        view.name = part.name;
        view.part = part.part;
        view.frame = part.frame;
        view.map = mapChannels(channelNames, own.overrides, frame.path, naming.results);
        chooseView(view, naming);
        frame.views.push_back(std::move(view));
    }
    choosePrimary(frame);
    for (std::size_t v = 0; v < frame.views.size(); ++v) {
        FrameView& view = frame.views[v];
        const std::vector<ChannelFormat>& channels = views[v].channels;
        if (v == frame.primary) {
            frame.windows = view.frame->windows;
            frame.screen = view.frame->screen;
            mapFrame(frame, channels, naming, view.map);
            view.frame.reset();
        } else if (view.rendered) {
            mapFrame(*view.frame, channels, naming, view.map);
        } else {
            // Copied as stored: its channels are only listed.
            view.frame->map = view.map;
            for (std::size_t i = 0; i < channels.size(); ++i)
                view.frame->channels.push_back({channels[i], view.map.numbers[i], -1});
        }
    }
    return frame.primary;
}

std::string viewChannelName(const std::string& local, const std::string& view, bool isDefault) {
    if (isDefault)
        return local;
    const auto dot = local.rfind('.');
    if (dot == std::string::npos)
        return view + "." + local;
    return local.substr(0, dot + 1) + view + local.substr(dot);
}

void mapViews(Frame& frame, const std::vector<ChannelFormat>& channels, const ViewLayout& layout,
              const FrameNaming& naming) {
    for (const std::string& wanted : naming.views)
        if (std::find(layout.views.begin(), layout.views.end(), wanted) == layout.views.end())
            throw UsageError(fmt::format("--view {}: {} has no view of that name (it has {})",
                                         wanted, frame.path, fmt::join(layout.views, ", ")));
    std::vector<std::string> names;
    for (const ChannelFormat& format : channels)
        names.push_back(format.name);
    frame.views.clear();
    for (std::size_t v = 0; v < layout.views.size(); ++v) {
        FrameView view;
        view.name = layout.views[v];
        view.isDefault = v == 0;
        ViewNames own{std::vector<std::string>(channels.size()), naming.results};
        for (std::size_t i = 0; i < channels.size(); ++i)
            if (layout.viewOf[i] == v) {
                view.channels.push_back(i);
                own.local[i] = layout.local[i];
            }
        ResultNames results;
        for (std::size_t k = 0; k < results.size(); ++k)
            results[k] = viewChannelName(naming.results[k], view.name, view.isDefault);
        view.map = mapChannels(names, viewOverrides(naming.overrides, channels, layout, v),
                               frame.path, results, &own);
        chooseView(view, naming);
        frame.views.push_back(std::move(view));
    }
    choosePrimary(frame);
    mapFrame(frame, channels, naming, frame.views[frame.primary].map);
    for (std::size_t v = 0; v < frame.views.size(); ++v)
        if (rendersApart(frame, v))
            for (std::size_t i = 0; i < channels.size(); ++i)
                if (toolReads(frame.views[v].map.numbers[i]))
                    checkFullResolution(channels[i], frame.path);
}

std::shared_ptr<Frame> viewSource(const Frame& frame, std::size_t view) {
    auto source = std::make_shared<Frame>();
    source->path = frame.path;
    source->windows = frame.windows;
    source->screen = frame.screen;
    source->map = frame.views[view].map;
    std::vector<int> extra;
    for (std::size_t i = 0; i < frame.channels.size(); ++i) {
        const int number = source->map.numbers[i];
        if (!toolReads(number))
            continue;
        source->channels.push_back({frame.channels[i].format, number, -1});
        if (number >= ResultChannels)
            extra.push_back(number);
    }
    source->image = newImage(frame.windows, extra, frame.path);
    for (std::size_t i = 0, k = 0; i < frame.channels.size(); ++i) {
        if (!toolReads(source->map.numbers[i]))
            continue;
        // Another view's channels are carried in the frame.
        const FrameChannel& channel = frame.channels[i];
        copyPlane(frame.carried[static_cast<std::size_t>(channel.carried)], channel.format.type,
                  *source->image, source->channels[k++].number, frame.windows);
    }
    return source;
}

bool toolReads(int number) {
    return (number >= 0 && number <= DepthChannel) ||
           (number >= SuppliedNormalX && number < SuppliedNormalX + NormalComponents);
}

void mapFrame(Frame& frame, const std::vector<ChannelFormat>& channels, const FrameNaming& naming,
              const std::optional<ChannelMap>& map) {
    if (map) {
        frame.map = *map;
    } else {
        std::vector<std::string> names;
        for (const ChannelFormat& format : channels)
            names.push_back(format.name);
        frame.map = mapChannels(names, naming.overrides, frame.path, naming.results);
    }
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
    frame.image = newImage(windows, extra, frame.path);
}

void fillFromCarried(Frame& frame, const FrameChannel& channel) {
    copyPlane(frame.carried[static_cast<std::size_t>(channel.carried)], channel.format.type,
              *frame.image, channel.number, frame.windows);
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

float sampleAsFloat(const char* sample, SampleType type, bool swapped) {
    return byType(type, swapped, [sample](auto typed, auto order) {
        return converted<decltype(typed)::value, decltype(order)::value>(sample);
    });
}

void samplesAsFloats(const char* from, std::ptrdiff_t fromStride, SampleType type, bool swapped,
                     char* to, std::ptrdiff_t toStride, std::size_t count) {
    byType(type, swapped, [=](auto typed, auto order) {
        convertedRow<decltype(typed)::value, decltype(order)::value>(from, fromStride, to, toStride,
                                                                     count);
    });
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

void copyChannel(const Image& from, Image& to, int number) {
    const PlaneSlice source = imageSlice(from, number);
    const PlaneSlice target = imageSlice(to, number);
    for (int y = 0; y < from.Height; ++y) {
        const char* in = source.origin + static_cast<std::size_t>(y) * source.yStride;
        char* out = target.origin + static_cast<std::size_t>(y) * target.yStride;
        for (int x = 0; x < from.Width; ++x, in += source.xStride, out += target.xStride)
            std::memcpy(out, in, sizeof(float));
    }
}

} // namespace umbrix
