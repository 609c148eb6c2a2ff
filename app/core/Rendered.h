#pragma once

#include "app/images/Frame.h"
#include "minihost/Host.h"

#include <memory>
#include <vector>

namespace umbrix {

// The tool's result for a loaded frame. The source stays as it was, shared, so that it can be
// rendered again; the result's image holds the four results and the source's channels the tool
// reads, over the source's data window.
struct Rendered {
    std::shared_ptr<const Frame> source;
    minihost::ImagePtr image;
    // A multi-view frame's views rendered apart (Frame::views), each its four results; null for
    // the others.
    std::vector<minihost::ImagePtr> views;
};

// Frees the source's image when `result` holds the only reference to the source: it can still be
// written, not rendered again. What a sequence does so that a frame waiting to be written holds
// one image, not two.
void releaseSourceImage(Rendered& result);

} // namespace umbrix
