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

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// A pixel as drawn: its colour, or a NaN (drawn magenta).
struct Shade {
    std::uint8_t r = 0, g = 0, b = 0;
    bool nan = false;
};

constexpr Shade NotANumber = {Magenta[0], Magenta[1], Magenta[2], true};

Shade shadeOf(const std::array<std::uint8_t, 3>& colour) {
    return {colour[0], colour[1], colour[2], false};
}

// Shades `count` pixels of row y from column x on.
using RowShades = std::function<void(int y, int x, int count, Shade* out)>;

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

#if defined(__SSE2__)
// The normals as the preview colours them, four lanes at a time where the result holds a pixel's
// z y x side by side (the host's first plane): the same float operations as previewByte's, then
// its rounding of halves up done exactly in float, the product less its whole part being exact.
class ZyxPixels {
  public:
    static std::optional<ZyxPixels> of(const Image& result) {
        const auto z = minihost::layout(result, ResultNormalZ);
        const auto y = minihost::layout(result, ResultNormalY);
        const auto x = minihost::layout(result, ResultNormalX);
        const auto lanes = static_cast<std::ptrdiff_t>(4 * sizeof(float));
        if (y.first != z.first + 1 || x.first != z.first + 2 || z.pixelStride < lanes ||
            y.pixelStride != z.pixelStride || x.pixelStride != z.pixelStride ||
            y.rowStride != z.rowStride || x.rowStride != z.rowStride)
            return std::nullopt;
        return ZyxPixels(z);
    }

    void shadeRow(int y, int x, int count, Shade* out) const {
        const __m128 one = _mm_set1_ps(1.0f), half = _mm_set1_ps(0.5f), top = _mm_set1_ps(255.0f);
        const char* at = reinterpret_cast<const char*>(Layout.first) + y * Layout.rowStride +
                         x * Layout.pixelStride;
        for (int k = 0; k < count; ++k, at += Layout.pixelStride) {
            const __m128 zyx = _mm_loadu_ps(reinterpret_cast<const float*>(at));
            if (_mm_movemask_ps(_mm_cmpunord_ps(zyx, zyx)) & 7) {
                out[k] = NotANumber;
                continue;
            }
            const __m128 unit = _mm_min_ps(
                _mm_max_ps(_mm_mul_ps(_mm_add_ps(zyx, one), half), _mm_setzero_ps()), one);
            const __m128 scaled = _mm_mul_ps(unit, top);
            const __m128i whole = _mm_cvttps_epi32(scaled);
            // Compared true is -1: subtracting it adds one.
            const __m128i rounded = _mm_sub_epi32(
                whole,
                _mm_castps_si128(_mm_cmpge_ps(_mm_sub_ps(scaled, _mm_cvtepi32_ps(whole)), half)));
            const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(rounded, rounded), rounded);
            const auto packed = static_cast<std::uint32_t>(_mm_cvtsi128_si32(bytes));
            out[k] = {static_cast<std::uint8_t>(packed >> 16),
                      static_cast<std::uint8_t>(packed >> 8), static_cast<std::uint8_t>(packed),
                      false};
        }
    }

  private:
    explicit ZyxPixels(minihost::ChannelLayout<const float> layout) : Layout(layout) {}
    minihost::ChannelLayout<const float> Layout;
};
#endif

Shade beautyShade(const Beauty& beauty, int x, int y, float scale) {
    const std::array<float, 3> linear = {beauty.r.at(x, y) * scale, beauty.g.at(x, y) * scale,
                                         beauty.b.at(x, y) * scale};
    if (std::isnan(linear[0]) || std::isnan(linear[1]) || std::isnan(linear[2]))
        return NotANumber;
    return {srgb()(linear[0]), srgb()(linear[1]), srgb()(linear[2]), false};
}

// Runs rows(first, last) over bands of `height` rows on the host's worker pool.
void byBands(int height, const std::function<void(int, int)>& rows) {
    constexpr int BandRows = 32;
    const int bands = (height + BandRows - 1) / BandRows;
    runOnWorkers(bands,
                 [&](int band) { rows(band * BandRows, std::min(height, (band + 1) * BandRows)); });
}

constexpr std::array<const char*, 4> ResultChannelNames = {"R", "G", "B", "A"};

template <typename Samples> RowShades greyShades(Samples samples, float low, float span) {
    return [samples, low, span](int y, int x, int count, Shade* out) {
        for (int k = 0; k < count; ++k) {
            const float value = samples.at(x + k, y);
            if (std::isnan(value)) {
                out[k] = NotANumber;
                continue;
            }
            const std::uint8_t grey = previewByte((value - low) / span);
            out[k] = {grey, grey, grey, false};
        }
    };
}

// The depth over its finite range, of the whole picture (min and max are the same in any order).
std::pair<float, float> finiteRange(const PlaneSamples& depth, int width, int height) {
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
    return {low, high};
}

RowShades viewShades(View view, const Frame& source, const Image& result,
                     std::optional<std::pair<float, float>> depthRange) {
    if (view == View::Depth) {
        const PlaneSamples depth = PlaneSamples::depth(source);
        const auto [low, high] =
            depthRange ? *depthRange : finiteRange(depth, result.Width, result.Height);
        return greyShades(depth, low, high > low ? high - low : 1.0f);
    }
    const ResultChannel occlusions(result, ResultOcclusion);
    if (view == View::Normals) {
#if defined(__SSE2__)
        if (const std::optional<ZyxPixels> pixels = ZyxPixels::of(result))
            return [pixels = *pixels](int y, int x, int count, Shade* out) {
                pixels.shadeRow(y, x, count, out);
            };
#endif
        return [normals = std::array{
                    ResultChannel(result, ResultNormalX), ResultChannel(result, ResultNormalY),
                    ResultChannel(result, ResultNormalZ)}](int y, int x, int count, Shade* out) {
            for (int k = 0; k < count; ++k) {
                const float xyz[3] = {normals[0].at(x + k, y), normals[1].at(x + k, y),
                                      normals[2].at(x + k, y)};
                out[k] = std::isnan(xyz[0]) || std::isnan(xyz[1]) || std::isnan(xyz[2])
                             ? NotANumber
                             : shadeOf(previewNormalColour(xyz));
            }
        };
    }
    if (view == View::Occlusion)
        return [occlusions](int y, int x, int count, Shade* out) {
            for (int k = 0; k < count; ++k) {
                const float occlusion = occlusions.at(x + k, y);
                out[k] =
                    std::isnan(occlusion) ? NotANumber : shadeOf(previewOcclusionColour(occlusion));
            }
        };
    const std::optional<Beauty> beauty = beautyOf(source);
    if (!beauty)
        return [](int, int, int count, Shade* out) { std::fill(out, out + count, Shade{}); };
    const bool shaded = view == View::Shaded;
    return [beauty = *beauty, occlusions, shaded](int y, int x, int count, Shade* out) {
        for (int k = 0; k < count; ++k)
            out[k] = beautyShade(beauty, x + k, y, shaded ? occlusions.at(x + k, y) : 1.0f);
    };
}

// How the pixels sent along one axis cover the part's: sent pixel k averages the part over
// [k * step, (k + 1) * step), step = part / sent, each part pixel weighed by how much of it lies
// inside. As step >= 1, a part pixel lies in at most two sent pixels: sent pixel `to` takes
// `near` of it and the next takes `next` (zero when none). Weights are exact to the float.
struct Cover {
    std::vector<int> to;
    std::vector<float> near, next;
};

Cover coverOf(int part, int sent) {
    Cover cover;
    for (long long i = 0; i < part; ++i) {
        // In units of 1 / part of a sent pixel.
        const long long from = i * sent, end = (i + 1) * sent;
        const long long k = from / part, boundary = (k + 1) * part;
        cover.to.push_back(static_cast<int>(k));
        cover.near.push_back(static_cast<float>(
            static_cast<double>(std::min(end, boundary) - from) / static_cast<double>(part)));
        cover.next.push_back(static_cast<float>(static_cast<double>(std::max(0LL, end - boundary)) /
                                                static_cast<double>(part)));
    }
    return cover;
}

// The same weights by sent pixel: pixel k's part pixels in order, each with its weight in k, so
// that a sent pixel sums in registers, in the order the part's pixels come. Every sent pixel has
// `count` entries: one with fewer repeats its last pixel at weight zero, which adds nothing to the
// sum (a colour is finite) nor to its NaN.
struct Gather {
    std::size_t count = 0;
    std::vector<int> index; // k's entries are [k * count, (k + 1) * count)
    std::vector<float> weight;
};

Gather gatherOf(const Cover& cover, int sent) {
    std::vector<std::vector<std::pair<int, float>>> taken(static_cast<std::size_t>(sent));
    for (std::size_t i = 0; i < cover.to.size(); ++i) {
        const auto k = static_cast<std::size_t>(cover.to[i]);
        taken[k].emplace_back(static_cast<int>(i), cover.near[i]);
        if (cover.next[i] > 0.0f)
            taken[k + 1].emplace_back(static_cast<int>(i), cover.next[i]);
    }
    Gather gather;
    for (const auto& entries : taken)
        gather.count = std::max(gather.count, entries.size());
    for (const auto& entries : taken)
        for (std::size_t e = 0; e < gather.count; ++e) {
            gather.index.push_back(entries[std::min(e, entries.size() - 1)].first);
            gather.weight.push_back(e < entries.size() ? entries[e].second : 0.0f);
        }
    return gather;
}

// The part's row averaged across: R G B per sent pixel into `reduced`, and whether it lies over a
// NaN into `nan`. `colours` takes each part pixel's R G B as floats and 1 for a NaN, so that a sent
// pixel's four sums go as one.
void acrossRow(const Gather& across, const std::vector<Shade>& row, std::vector<float>& colours,
               float* reduced, char* nan) {
    for (std::size_t i = 0; i < row.size(); ++i) {
        colours[4 * i] = row[i].r;
        colours[4 * i + 1] = row[i].g;
        colours[4 * i + 2] = row[i].b;
        colours[4 * i + 3] = row[i].nan ? 1.0f : 0.0f;
    }
    const std::size_t sent = across.index.size() / across.count;
    for (std::size_t k = 0; k < sent; ++k) {
        float sums[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        for (std::size_t e = k * across.count; e < (k + 1) * across.count; ++e) {
            const float* colour = colours.data() + 4 * static_cast<std::size_t>(across.index[e]);
            const float share = across.weight[e];
            for (std::size_t c = 0; c < 4; ++c)
                sums[c] += share * colour[c];
        }
        reduced[3 * k] = sums[0];
        reduced[3 * k + 1] = sums[1];
        reduced[3 * k + 2] = sums[2];
        // Every weight but a repeat's is above zero.
        nan[k] = static_cast<char>(sums[3] > 0.0f);
    }
}

// The part as sent, on the worker pool. Reduced, each sent pixel is the area average of the
// 8-bit colours drawn (as a browser scaling the whole picture would show it), not of the floats
// before the curves: every view is reduced alike, whatever made its colours, and the curves run
// once per pixel of the part. A sent pixel over any NaN is magenta: a lone NaN stays in sight at
// any reduction.
std::string drawn(const Shown& shown, const RowShades& shades) {
    const int width = shown.sentWidth;
    std::string rgba(
        static_cast<std::size_t>(width) * static_cast<std::size_t>(shown.sentHeight) * 4, '\0');
    const auto put = [&](int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        char* at = rgba.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                  static_cast<std::size_t>(x)) *
                                     4;
        at[0] = static_cast<char>(r);
        at[1] = static_cast<char>(g);
        at[2] = static_cast<char>(b);
        at[3] = static_cast<char>(255);
    };
    if (shown.sentWidth == shown.width && shown.sentHeight == shown.height) {
        byBands(shown.sentHeight, [&](int first, int last) {
            std::vector<Shade> row(static_cast<std::size_t>(shown.width));
            for (int y = first; y < last; ++y) {
                shades(shown.y + y, shown.x, shown.width, row.data());
                for (int x = 0; x < width; ++x) {
                    const Shade& s = row[static_cast<std::size_t>(x)];
                    put(x, y, s.r, s.g, s.b);
                }
            }
        });
        return rgba;
    }
    const Gather across = gatherOf(coverOf(shown.width, shown.sentWidth), shown.sentWidth);
    const Cover down = coverOf(shown.height, shown.sentHeight);
    // The part rows each sent row takes, from the first whose pixels reach into it.
    std::vector<int> firstRow(static_cast<std::size_t>(shown.sentHeight) + 1, shown.height);
    for (int py = shown.height - 1; py >= 0; --py) {
        const auto p = static_cast<std::size_t>(py);
        const auto y = static_cast<std::size_t>(down.to[p]);
        firstRow[y] = py;
        if (down.next[p] > 0.0f)
            firstRow[y + 1] = std::min(firstRow[y + 1], py);
    }
    const auto sent = static_cast<std::size_t>(width);
    byBands(shown.sentHeight, [&](int first, int last) {
        std::vector<Shade> row(static_cast<std::size_t>(shown.width));
        // The part's row `reducedRow` averaged across: consecutive sent rows share a part row.
        int reducedRow = -1;
        std::vector<float> reduced(sent * 3), sum(sent * 3), colours(row.size() * 4);
        std::vector<char> reducedNan(sent), nan(sent);
        for (int y = first; y < last; ++y) {
            std::fill(sum.begin(), sum.end(), 0.0f);
            std::fill(nan.begin(), nan.end(), 0);
            for (int py = firstRow[static_cast<std::size_t>(y)];
                 py < shown.height && down.to[static_cast<std::size_t>(py)] <= y; ++py) {
                const auto p = static_cast<std::size_t>(py);
                const float weight = down.to[p] == y ? down.near[p] : down.next[p];
                if (weight <= 0.0f)
                    continue;
                if (py != reducedRow) {
                    shades(shown.y + py, shown.x, shown.width, row.data());
                    acrossRow(across, row, colours, reduced.data(), reducedNan.data());
                    reducedRow = py;
                }
                for (std::size_t k = 0; k < 3 * sent; ++k)
                    sum[k] += weight * reduced[k];
                for (std::size_t k = 0; k < sent; ++k)
                    nan[k] |= reducedNan[k];
            }
            const auto byte = [](float v) {
                return static_cast<std::uint8_t>(std::min(255.0f, v + 0.5f));
            };
            for (std::size_t k = 0; k < sent; ++k) {
                if (nan[k])
                    put(static_cast<int>(k), y, Magenta[0], Magenta[1], Magenta[2]);
                else
                    put(static_cast<int>(k), y, byte(sum[3 * k]), byte(sum[3 * k + 1]),
                        byte(sum[3 * k + 2]));
            }
        }
    });
    return rgba;
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

Shown Shown::whole(const Image& result) {
    return {0, 0, result.Width, result.Height, result.Width, result.Height};
}

std::string viewPixels(View view, const Frame& source, const Image& result, const Shown& shown,
                       std::optional<std::pair<float, float>> depthRange) {
    return drawn(shown, viewShades(view, source, result, depthRange));
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
                                         const Image& result, const Shown& shown) {
    const auto named = std::find(ResultChannelNames.begin(), ResultChannelNames.end(), name);
    if (named != ResultChannelNames.end())
        return drawn(
            shown,
            greyShades(ResultChannel(result, static_cast<int>(named - ResultChannelNames.begin())),
                       0.0f, 1.0f));
    const std::optional<PlaneSamples> samples = PlaneSamples::of(source, name);
    if (!samples)
        return std::nullopt;
    return drawn(shown, greyShades(*samples, 0.0f, 1.0f));
}

} // namespace umbrix::look
