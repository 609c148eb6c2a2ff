#include "app/HostImage.h"

#include "minihost/Host.h"

#include <cstddef>

namespace umbrix {

namespace {

// Samples of one channel in one row: a host image keeps a plane's pixels at a fixed stride.
struct ChannelRow {
    float* first;
    std::ptrdiff_t stride; // in floats
};

ChannelRow channelRow(const Image& image, int y, int channel) {
    const std::int32_t bytes = channel < 4 ? image.FirstStride : image.SecondStride;
    float& first = minihost::sample(const_cast<Image&>(image), 0, y, channel);
    return {&first,
            static_cast<std::ptrdiff_t>(bytes) / static_cast<std::ptrdiff_t>(sizeof(float))};
}

template <typename Copy>
void forEachChannelRow(const Image& image, const std::vector<int>& numbers, Copy copy) {
    const auto width = static_cast<std::size_t>(image.Width);
    const std::size_t count = numbers.size();
    for (int y = 0; y < image.Height && width > 0; ++y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * width * count;
        for (std::size_t i = 0; i < count; ++i)
            copy(channelRow(image, y, numbers[i]), rowStart + i, count, width);
    }
}

} // namespace

void scatterPixels(const float* pixels, const std::vector<int>& numbers, Image& image) {
    forEachChannelRow(image, numbers,
                      [pixels](ChannelRow row, std::size_t start, std::size_t step, std::size_t n) {
                          for (std::size_t x = 0; x < n; ++x)
                              row.first[static_cast<std::ptrdiff_t>(x) * row.stride] =
                                  pixels[start + x * step];
                      });
}

void gatherPixels(const Image& image, const std::vector<int>& numbers, float* pixels) {
    forEachChannelRow(image, numbers,
                      [pixels](ChannelRow row, std::size_t start, std::size_t step, std::size_t n) {
                          for (std::size_t x = 0; x < n; ++x)
                              pixels[start + x * step] =
                                  row.first[static_cast<std::ptrdiff_t>(x) * row.stride];
                      });
}

} // namespace umbrix
