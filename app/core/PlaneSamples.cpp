#include "app/core/PlaneSamples.h"

#include <array>
#include <utility>
#include <vector>

namespace umbrix {

namespace {

const FrameChannel* channelNamed(const Frame& frame, const std::string& name) {
    for (const FrameChannel& channel : frame.channels)
        if (channel.format.name == name)
            return &channel;
    return nullptr;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

std::optional<PlaneSamples> PlaneSamples::of(const Frame& frame, const std::string& name) {
    const FrameChannel* channel = channelNamed(frame, name);
    if (!channel)
        return std::nullopt;
    PlaneSamples samples;
    if (channel->carried >= 0) {
        const CarriedPlane& plane = frame.carried[static_cast<std::size_t>(channel->carried)];
        samples.Origin = plane.bytes.get();
        samples.XStride = plane.xStride;
        samples.YStride = plane.yStride;
        samples.XSampling = channel->format.xSampling;
        samples.YSampling = channel->format.ySampling;
        samples.Type = channel->format.type;
        return samples;
    }
    if (!frame.image || !minihost::stores(*frame.image, channel->number))
        return std::nullopt;
    const auto layout = minihost::layout(std::as_const(*frame.image), channel->number);
    samples.Origin = reinterpret_cast<const char*>(layout.first);
    samples.XStride = static_cast<std::size_t>(layout.pixelStride);
    samples.YStride = static_cast<std::size_t>(layout.rowStride);
    return samples;
}

PlaneSamples PlaneSamples::depth(const Frame& frame) {
    PlaneSamples samples;
    if (frame.image && minihost::stores(*frame.image, DepthChannel)) {
        const auto layout = minihost::layout(std::as_const(*frame.image), DepthChannel);
        samples.Origin = reinterpret_cast<const char*>(layout.first);
        samples.XStride = static_cast<std::size_t>(layout.pixelStride);
        samples.YStride = static_cast<std::size_t>(layout.rowStride);
    }
    return samples;
}

std::optional<Beauty> beautyOf(const Frame& frame) {
    std::vector<std::array<std::string, 3>> candidates = {{"R", "G", "B"}};
    // A view's own R G B, under the view's names (right.R ...).
    std::array<std::string, 3> mapped;
    for (const FrameChannel& channel : frame.channels)
        if (channel.number >= 0 && channel.number < 3)
            mapped[static_cast<std::size_t>(channel.number)] = channel.format.name;
    if (!mapped[0].empty() && !mapped[1].empty() && !mapped[2].empty())
        candidates.push_back(mapped);
    for (const FrameChannel& channel : frame.channels) {
        const std::string& name = channel.format.name;
        if (endsWith(name, ".Combined.R")) {
            const std::string layer = name.substr(0, name.size() - 1);
            candidates.push_back({layer + "R", layer + "G", layer + "B"});
        }
    }
    for (const auto& names : candidates) {
        auto r = PlaneSamples::of(frame, names[0]);
        auto g = PlaneSamples::of(frame, names[1]);
        auto b = PlaneSamples::of(frame, names[2]);
        if (r && g && b)
            return Beauty{*r, *g, *b, names[0] + " " + names[1] + " " + names[2]};
    }
    return std::nullopt;
}

} // namespace umbrix
