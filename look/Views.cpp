#include "look/Views.h"

#include "app/core/PlaneSamples.h"
#include "app/core/Preview.h"
#include "app/core/Tool.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <mutex>
#include <utility>

namespace umbrix::look {

namespace {

constexpr std::array<std::uint8_t, 3> Magenta = {255, 0, 255};

// The sRGB curve over [0, 1] in steps fine enough that no 8-bit level is missed.
class SrgbCurve {
  public:
    SrgbCurve() {
        for (std::size_t k = 0; k < Levels.size(); ++k) {
            const double v = static_cast<double>(k) / (Steps - 1);
            const double encoded =
                v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
            Levels[k] = static_cast<std::uint8_t>(std::lround(encoded * 255.0));
        }
    }
    std::uint8_t operator()(float linear) const {
        const float unit = linear > 0.0f ? (linear < 1.0f ? linear : 1.0f) : 0.0f;
        // Rounded to the nearest step, halves up; exact as in previewByte.
        const double step = static_cast<double>(unit * (Steps - 1)) + 0.5;
        return Levels[static_cast<std::size_t>(step)];
    }

  private:
    static constexpr int Steps = 1 << 16;
    std::array<std::uint8_t, Steps> Levels{};
};

const SrgbCurve& srgb() {
    static const SrgbCurve curve;
    return curve;
}

struct Pixels {
    std::string rgba;
    int width;

    void put(int x, int y, const std::array<std::uint8_t, 3>& colour) {
        char* at = rgba.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                  static_cast<std::size_t>(x)) *
                                     4;
        at[0] = static_cast<char>(colour[0]);
        at[1] = static_cast<char>(colour[1]);
        at[2] = static_cast<char>(colour[2]);
        at[3] = static_cast<char>(255);
    }
};

// A result channel's samples through its layout, without a lookup per pixel.
class ResultChannel {
  public:
    ResultChannel(const Image& result, int channel) : Layout(minihost::layout(result, channel)) {}
    float at(int x, int y) const {
        const char* row = reinterpret_cast<const char*>(Layout.first) + y * Layout.rowStride;
        return *reinterpret_cast<const float*>(row + x * Layout.pixelStride);
    }

  private:
    minihost::ChannelLayout<const float> Layout;
};

std::array<std::uint8_t, 3> beautyColour(const Beauty& beauty, int x, int y, float scale) {
    const std::array<float, 3> linear = {beauty.r.at(x, y) * scale, beauty.g.at(x, y) * scale,
                                         beauty.b.at(x, y) * scale};
    if (std::isnan(linear[0]) || std::isnan(linear[1]) || std::isnan(linear[2]))
        return Magenta;
    return {srgb()(linear[0]), srgb()(linear[1]), srgb()(linear[2])};
}

// Runs rows(first, last) over bands of the picture's rows on the host's worker pool.
void byBands(int height, const std::function<void(int, int)>& rows) {
    constexpr int BandRows = 32;
    const int bands = (height + BandRows - 1) / BandRows;
    runOnWorkers(bands,
                 [&](int band) { rows(band * BandRows, std::min(height, (band + 1) * BandRows)); });
}

constexpr std::array<const char*, 4> ResultChannelNames = {"R", "G", "B", "A"};

void greyPixels(Pixels& pixels, int width, int height, const std::function<float(int, int)>& at,
                float low, float span) {
    byBands(height, [&](int first, int last) {
        for (int y = first; y < last; ++y)
            for (int x = 0; x < width; ++x) {
                const float d = at(x, y);
                if (std::isnan(d)) {
                    pixels.put(x, y, Magenta);
                    continue;
                }
                const std::uint8_t grey = previewByte((d - low) / span);
                pixels.put(x, y, {grey, grey, grey});
            }
    });
}

void depthPixels(Pixels& pixels, const Frame& source, int width, int height,
                 std::optional<std::pair<float, float>> range) {
    const PlaneSamples depth = PlaneSamples::depth(source);
    if (range) {
        const float span = range->second > range->first ? range->second - range->first : 1.0f;
        greyPixels(
            pixels, width, height, [&](int x, int y) { return depth.at(x, y); }, range->first,
            span);
        return;
    }
    // The finite range, band by band (min and max are the same in any order).
    std::mutex rangeLock;
    float low = std::numeric_limits<float>::infinity();
    float high = -low;
    byBands(height, [&](int first, int last) {
        float bandLow = std::numeric_limits<float>::infinity();
        float bandHigh = -bandLow;
        for (int y = first; y < last; ++y)
            for (int x = 0; x < width; ++x)
                if (const float d = depth.at(x, y); std::isfinite(d)) {
                    bandLow = std::min(bandLow, d);
                    bandHigh = std::max(bandHigh, d);
                }
        const std::lock_guard hold(rangeLock);
        low = std::min(low, bandLow);
        high = std::max(high, bandHigh);
    });
    const float span = high > low ? high - low : 1.0f;
    greyPixels(
        pixels, width, height, [&](int x, int y) { return depth.at(x, y); }, low, span);
}

} // namespace

std::optional<View> viewNamed(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, View>, 5> names = {
        {{"normals", View::Normals},
         {"occlusion", View::Occlusion},
         {"shaded", View::Shaded},
         {"depth", View::Depth},
         {"beauty", View::Beauty}}};
    for (const auto& [known, view] : names)
        if (known == name)
            return view;
    return std::nullopt;
}

std::string viewPixels(View view, const Frame& source, const Image& result,
                       std::optional<std::pair<float, float>> depthRange) {
    const int width = result.Width;
    const int height = result.Height;
    Pixels pixels{
        std::string(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, '\0'),
        width};
    if (view == View::Depth) {
        depthPixels(pixels, source, width, height, depthRange);
        return std::move(pixels.rgba);
    }
    const std::optional<Beauty> beauty = beautyOf(source);
    const ResultChannel normalX(result, ResultNormalX), normalY(result, ResultNormalY),
        normalZ(result, ResultNormalZ), occlusions(result, ResultOcclusion);
    byBands(height, [&](int first, int last) {
        for (int y = first; y < last; ++y)
            for (int x = 0; x < width; ++x) {
                const float occlusion = occlusions.at(x, y);
                switch (view) {
                case View::Normals: {
                    const float xyz[3] = {normalX.at(x, y), normalY.at(x, y), normalZ.at(x, y)};
                    pixels.put(x, y, previewNormalColour(xyz));
                    break;
                }
                case View::Occlusion:
                    pixels.put(x, y, previewOcclusionColour(occlusion));
                    break;
                case View::Shaded:
                    pixels.put(x, y,
                               beauty ? beautyColour(*beauty, x, y, occlusion)
                                      : std::array<std::uint8_t, 3>{0, 0, 0});
                    break;
                case View::Beauty:
                    pixels.put(x, y,
                               beauty ? beautyColour(*beauty, x, y, 1.0f)
                                      : std::array<std::uint8_t, 3>{0, 0, 0});
                    break;
                case View::Depth:
                    break;
                }
            }
    });
    return std::move(pixels.rgba);
}

std::vector<std::string> channelNames(const Frame& source) {
    std::vector<std::string> names(ResultChannelNames.begin(), ResultChannelNames.end());
    for (const FrameChannel& channel : source.channels)
        if (std::find(names.begin(), names.end(), channel.format.name) == names.end() &&
            PlaneSamples::of(source, channel.format.name))
            names.push_back(channel.format.name);
    return names;
}

std::optional<std::string> channelPixels(const std::string& name, const Frame& source,
                                         const Image& result) {
    const int width = result.Width;
    const int height = result.Height;
    Pixels pixels{
        std::string(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, '\0'),
        width};
    const auto named = std::find(ResultChannelNames.begin(), ResultChannelNames.end(), name);
    if (named != ResultChannelNames.end()) {
        const ResultChannel channel(result, static_cast<int>(named - ResultChannelNames.begin()));
        greyPixels(
            pixels, width, height, [&](int x, int y) { return channel.at(x, y); }, 0.0f, 1.0f);
        return std::move(pixels.rgba);
    }
    const std::optional<PlaneSamples> samples = PlaneSamples::of(source, name);
    if (!samples)
        return std::nullopt;
    greyPixels(
        pixels, width, height, [&](int x, int y) { return samples->at(x, y); }, 0.0f, 1.0f);
    return std::move(pixels.rgba);
}

} // namespace umbrix::look
