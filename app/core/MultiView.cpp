#include "app/core/MultiView.h"

#include "app/Failure.h"
#include "app/core/FrameSource.h"

#include <cstring>
#include <fmt/format.h>
#include <new>

namespace umbrix {

namespace {

// The four results alone: the rendered image also holds the view's depth and normal, which are
// not written from it.
minihost::ImagePtr resultsOnly(const Image& rendered, const Frame& frame) {
    minihost::ImagePtr kept;
    try {
        kept = minihost::makeImage(rendered.Width, rendered.Height, {});
    } catch (const std::bad_alloc&) {
        throw RunError(fmt::format("{}: out of memory while rendering", frame.path), frame.path,
                       std::nullopt, RunError::Cause::Memory);
    }
    for (int number = 0; number < ResultChannels; ++number) {
        const PlaneSlice from = imageSlice(rendered, number);
        const PlaneSlice to = imageSlice(*kept, number);
        for (int y = 0; y < rendered.Height; ++y)
            for (int x = 0; x < rendered.Width; ++x)
                std::memcpy(to.origin + static_cast<std::size_t>(y) * to.yStride +
                                static_cast<std::size_t>(x) * to.xStride,
                            from.origin + static_cast<std::size_t>(y) * from.yStride +
                                static_cast<std::size_t>(x) * from.xStride,
                            sizeof(float));
    }
    return kept;
}

} // namespace

void renderOtherViews(const Tool& tool, Rendered& result, const ControlValues& values, double time,
                      const DepthConvention& depth) {
    const Frame& frame = *result.source;
    result.views.resize(frame.views.size());
    for (std::size_t v = 0; v < frame.views.size(); ++v) {
        if (!rendersApart(frame, v))
            continue;
        std::shared_ptr<Frame> source = viewSource(frame, v);
        convertDepth(*source, depth, values[control::CamFOV]);
        const Rendered view = tool.render(std::move(source), values, time);
        result.views[v] = resultsOnly(*view.image, frame);
    }
}

} // namespace umbrix
