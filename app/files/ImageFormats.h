#pragma once

// What the program asks of the image formats other than EXR. They are read and written through
// OpenImageIO, which a module of its own holds: loading it costs hundreds of libraries, so a run
// that needs no other format never loads it.

#include "app/images/PlainImage.h"

#include <string>
#include <vector>

namespace umbrix {

// Pixels to write, interleaved like a PlainImage's, as floats or as bytes.
struct PlainPixels {
    Windows windows;
    std::vector<std::string> channels;
    bool bytes = false;
    bool half = false; // floats to store as half where the format can
    const void* data = nullptr;
    std::string compression; // the format's own name for it, empty: its default
    // Channel A holds occlusion, not coverage: nothing may divide by it.
    bool alphaIsData = false;
};

// What a file format can hold of a result.
struct OutputFormat {
    bool exr = false;   // every channel, each in its own type
    bool alpha = true;  // R G B A, else R G B
    bool origin = true; // a data window placed within a display window
};

class ImageFormats {
  public:
    virtual ~ImageFormats() = default;
    // UsageError when no format goes with the path's extension, or it cannot be written.
    virtual OutputFormat outputFormat(const std::string& path) = 0;
    // The first image of a file at full resolution. RunError, naming the file, when it cannot.
    virtual PlainImage read(const std::string& path) = 0;
    // Writes `pixels` to `target` in the format `shown`'s extension names, made durable.
    // RunError, naming `shown`, on failure.
    virtual void write(const std::string& target, const std::string& shown,
                       const PlainPixels& pixels) = 0;
};

} // namespace umbrix

// The module's one entry point: its formats, alive as long as the module is loaded.
extern "C" umbrix::ImageFormats* umbrixImageFormats();
