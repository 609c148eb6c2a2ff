#pragma once

#include "host/Image.h"

#include <vector>

namespace umbrix {

// Copies interleaved pixels into a host image: pixel value i of each pixel into channel
// numbers[i]. The pixels cover the image, row 0 first.
void scatterPixels(const float* pixels, const std::vector<int>& numbers, Image& image);

// The reverse: channels `numbers` of the host image as interleaved pixels.
void gatherPixels(const Image& image, const std::vector<int>& numbers, float* pixels);

} // namespace umbrix
