#pragma once

#include "app/images/Frame.h"

#include <vector>

namespace umbrix {

// Puts an image of another format into a frame: maps its channels and copies each into the
// source image or its carried plane. UsageError or RunError, naming the file, when it cannot.
Frame frameOf(PlainImage image, const std::string& path, const FrameNaming& naming);

// Channels `numbers` of a host image, side by side per pixel, rows over the image.
std::vector<float> gatherPixels(const Image& image, const std::vector<int>& numbers);

} // namespace umbrix
