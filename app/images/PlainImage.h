#pragma once

#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace umbrix {

// Where an image's pixels are (the data window) and the picture it belongs to (the display
// window), in pixel coordinates.
struct Windows {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int fullX = 0;
    int fullY = 0;
    int fullWidth = 0;
    int fullHeight = 0;
};

// One item of a file's metadata.
struct Attribute {
    std::string name;
    std::variant<std::string, int, float, double> value;
};

// An image as 32-bit floats, every channel of a pixel side by side, rows over the data window.
struct PlainImage {
    Windows windows;
    std::vector<std::string> channels;
    std::unique_ptr<float[]> pixels;
    std::vector<Attribute> metadata;
};

} // namespace umbrix
