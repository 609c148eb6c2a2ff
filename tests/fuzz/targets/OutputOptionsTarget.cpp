// The options that shape a render's channels and output, chosen by the first byte: --map (one a
// line), --ch, -d (one a line), --compression and --layer. What parses is applied to the channels
// of a frame as a run applies it.

#include "app/Failure.h"
#include "app/files/OutputChannels.h"
#include "app/images/ChannelMap.h"
#include "app/images/Frame.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::vector<std::string_view> lines(std::string_view text) {
    std::vector<std::string_view> all;
    for (fuzzsupport::Split split{{}, text}; !split.rest.empty() || all.empty();) {
        split = fuzzsupport::splitLine(split.rest);
        all.push_back(split.first);
    }
    return all;
}

// A frame's channels as a file names them, for the options to name.
const std::vector<std::string> FileChannels = {"R",   "G",   "B",        "A",      "Z",       "N.X",
                                               "N.Y", "N.Z", "crypto.R", "ssao.A", "P.depth", "id"};

umbrix::Frame mappedFrame(const std::vector<umbrix::ChannelOverride>& overrides,
                          const umbrix::ResultNames& results) {
    umbrix::Frame frame;
    frame.path = "frame.exr";
    frame.windows = {0, 0, 4, 4, 0, 0, 4, 4};
    std::vector<umbrix::ChannelFormat> channels;
    for (const std::string& name : FileChannels)
        channels.push_back({name,
                            name == "id" ? umbrix::SampleType::Uint : umbrix::SampleType::Half, 1,
                            1, false});
    umbrix::FrameNaming naming{overrides, results, {}};
    umbrix::mapFrame(frame, channels, naming);
    return frame;
}

void mapping(std::string_view text) {
    std::vector<umbrix::ChannelOverride> overrides;
    for (std::string_view line : lines(text))
        overrides.push_back(umbrix::parseChannelOverride(line));
    umbrix::checkChannelOverrides(overrides);
    mappedFrame(overrides, umbrix::resultNames(std::nullopt));
}

void picking(std::string_view text) {
    umbrix::OutputOptions options;
    options.picks = umbrix::parseChannelPicks(text);
    const std::vector<umbrix::OutputChannel> written = umbrix::outputChannels(
        mappedFrame({}, umbrix::resultNames(std::nullopt)), options, false, true);
    FUZZ_CHECK(written.size() == options.picks.size());
    for (const umbrix::OutputChannel& channel : written)
        FUZZ_CHECK(!channel.name.empty() && channel.name.size() <= umbrix::LongestChannelName);
}

void typing(std::string_view text) {
    umbrix::OutputOptions options;
    for (std::string_view line : lines(text))
        options.types.push_back(umbrix::parseTypeChoice(line));
    umbrix::outputChannels(mappedFrame({}, umbrix::resultNames(std::nullopt)), options, false,
                           true);
}

void compressing(std::string_view text) {
    const umbrix::CompressionChoice choice = umbrix::parseCompression(text);
    FUZZ_CHECK(choice.text == text);
    if (choice.zipLevel)
        FUZZ_CHECK(*choice.zipLevel >= 1 && *choice.zipLevel <= 9);
}

void layering(std::string_view text) {
    const umbrix::ResultNames results = umbrix::resultNames(std::string(text));
    const std::vector<umbrix::OutputChannel> outputs =
        umbrix::frameOutputs(mappedFrame({}, results));
    for (std::size_t k = 0; k < results.size(); ++k) {
        FUZZ_CHECK(outputs[k].name == results[k]);
        FUZZ_CHECK(results[k].size() <= umbrix::LongestChannelName);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        switch (data[0] % 5) {
        case 0:
            mapping(text);
            break;
        case 1:
            picking(text);
            break;
        case 2:
            typing(text);
            break;
        case 3:
            compressing(text);
            break;
        default:
            layering(text);
            break;
        }
    } catch (const umbrix::UsageError& e) {
        fuzzsupport::checkMessage(e);
    } catch (const umbrix::RunError& e) {
        fuzzsupport::checkMessage(e);
    }
    return 0;
}
