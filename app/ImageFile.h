#pragma once

#include <OpenImageIO/imageio.h>
#include <memory>
#include <string>
#include <vector>

namespace umbrix {

// An image as a file holds it: the data window's pixels as 32-bit floats, all channels interleaved,
// and the file's description (windows, channel names, metadata).
struct FileImage {
    OIIO::ImageSpec header;
    std::unique_ptr<float[]> pixels;
};

// Reads the first part of a file at its full resolution. RunError, naming the file, when it cannot.
FileImage readImageFile(const std::string& path);

// What a file format can hold of a result.
struct OutputFormat {
    bool everyChannel = false; // OpenEXR: every channel as float32
    bool alpha = true;
    bool origin = true; // a data window placed within a display window
};
// UsageError when no format goes with the path's extension.
OutputFormat outputFormat(const std::string& path);

// Writes interleaved pixels of type `type` as `header` describes them, atomically. RunError on
// failure.
void writeImageFile(const std::string& path, const OIIO::ImageSpec& header, OIIO::TypeDesc type,
                    const void* pixels);

} // namespace umbrix
