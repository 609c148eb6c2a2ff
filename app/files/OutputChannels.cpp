#include "app/files/OutputChannels.h"

#include "app/Failure.h"
#include "app/Text.h"

#include <algorithm>
#include <fmt/format.h>

namespace umbrix {

namespace {

std::vector<std::string> namesOf(const std::vector<OutputChannel>& channels) {
    std::vector<std::string> names;
    for (const OutputChannel& channel : channels)
        names.push_back(channel.name);
    return names;
}

const OutputChannel* find(const std::vector<OutputChannel>& channels, std::string_view name) {
    const auto found = std::find_if(channels.begin(), channels.end(),
                                    [&](const OutputChannel& c) { return c.name == name; });
    return found == channels.end() ? nullptr : &*found;
}

[[noreturn]] void unknownChannel(const char* option, std::string_view name,
                                 const std::vector<OutputChannel>& channels,
                                 const std::string& file) {
    throw UsageError(fmt::format("{} {}: the output of {} has no channel '{}' (it has {})", option,
                                 excerpt(name), file, excerpt(name),
                                 fmt::join(namesOf(channels), " ")));
}

} // namespace

std::vector<OutputChannel> frameOutputs(const Frame& frame) {
    std::vector<OutputChannel> outputs;
    for (int number = 0; number < ResultChannels; ++number)
        outputs.push_back(
            {frame.map.names[static_cast<std::size_t>(number)], SampleType::Float, number});
    std::vector<bool> replaced(frame.channels.size());
    for (std::size_t v = 0; v < frame.views.size(); ++v) {
        // A view of a part of its own is written into that part.
        if (!rendersApart(frame, v) || rendersFromPart(frame, v))
            continue;
        const ChannelMap& map = frame.views[v].map;
        for (int number = 0; number < ResultChannels; ++number) {
            OutputChannel output{map.names[static_cast<std::size_t>(number)], SampleType::Float,
                                 number};
            output.view = static_cast<int>(v);
            outputs.push_back(std::move(output));
        }
        for (std::size_t i = 0; i < map.numbers.size(); ++i)
            if (map.numbers[i] < ResultChannels)
                replaced[i] = true;
    }
    for (std::size_t i = 0; i < frame.channels.size(); ++i) {
        const FrameChannel& channel = frame.channels[i];
        if (channel.number < ResultChannels || replaced[i])
            continue;
        const ChannelFormat& format = channel.format;
        OutputChannel output{format.name,
                             format.type,
                             -1,
                             channel.carried,
                             SampleType::Float,
                             format.xSampling,
                             format.ySampling,
                             format.perceptuallyLinear};
        if (channel.carried >= 0)
            output.stored = format.type;
        else
            output.number = channel.number;
        outputs.push_back(std::move(output));
    }
    return outputs;
}

PlaneSlice resultSlice(const FrameResults& results, const OutputChannel& channel) {
    const Image* image =
        channel.view >= 0 ? results.views[static_cast<std::size_t>(channel.view)] : results.image;
    return imageSlice(*image, channel.number);
}

std::vector<OutputChannel> outputChannels(const Frame& frame, const OutputOptions& options,
                                          bool resultsOnly, bool alpha) {
    const std::vector<OutputChannel> all = frameOutputs(frame);
    std::vector<OutputChannel> written;
    if (!options.picks.empty()) {
        for (const ChannelPick& pick : options.picks) {
            const OutputChannel* from = find(all, pick.from);
            if (!from)
                unknownChannel("--ch", pick.from, all, frame.path);
            written.push_back(*from);
            written.back().name = pick.name;
        }
    } else {
        const std::size_t count =
            resultsOnly ? static_cast<std::size_t>(alpha ? ResultChannels : ResultChannels - 1)
                        : all.size();
        written.assign(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(count));
    }
    for (const TypeChoice& choice : options.types) {
        if (!choice.name) {
            for (OutputChannel& channel : written)
                if (channel.number >= 0 && channel.number < ResultChannels)
                    channel.type = choice.type;
            continue;
        }
        const auto named =
            std::find_if(written.begin(), written.end(),
                         [&](const OutputChannel& c) { return c.name == *choice.name; });
        if (named == written.end())
            unknownChannel("-d", *choice.name, written, frame.path);
        named->type = choice.type;
    }
    return written;
}

} // namespace umbrix
