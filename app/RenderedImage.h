#pragma once

#include "app/ChannelMap.h"
#include "app/ImageFile.h"
#include "app/ToolSession.h"
#include "minihost/Host.h"

#include <OpenImageIO/imageio.h>
#include <string>
#include <vector>

namespace umbrix {

// The tool's result for one image, with what a file needs to hold it.
struct RenderedImage {
    OIIO::ImageSpec source; // the source file's windows and metadata
    ChannelMap channels;
    minihost::ImagePtr result;
};

// Maps the image's channels, renders it at `time` and frees the file's pixels on the way.
// `name` is the file the image came from, for messages.
RenderedImage renderImage(ToolSession& tool, FileImage image,
                          const std::vector<ChannelOverride>& overrides, const std::string& name,
                          double time);

} // namespace umbrix
