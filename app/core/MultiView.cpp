#include "app/core/MultiView.h"

#include "app/Failure.h"
#include "app/core/FrameSource.h"

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
    for (int number = 0; number < ResultChannels; ++number)
        copyChannel(rendered, *kept, number);
    return kept;
}

} // namespace

void renderOtherViews(const Tool& tool, Rendered& result, const ControlValues& values, double time,
                      const DepthConvention& depth) {
    const Frame& frame = *result.source;
    result.views.resize(frame.views.size());
    for (std::size_t v = 0; v < frame.views.size(); ++v) {
        if (rendersFromPart(frame, v)) {
            Frame& part = *frame.views[v].frame;
            result.views[v] = tool.render(frame.views[v].frame, values, time).image;
            if (!frame.image)
                part.image.reset();
            continue;
        }
        if (!rendersApart(frame, v))
            continue;
        std::shared_ptr<Frame> source = viewSource(frame, v);
        convertDepth(*source, depth, values[control::CamFOV]);
        const Rendered view = tool.render(std::move(source), values, time);
        result.views[v] = resultsOnly(*view.image, frame);
    }
}

std::shared_ptr<const Frame> viewToRender(const std::shared_ptr<const Frame>& frame,
                                          std::size_t view, const DepthConvention& depth,
                                          double camFov) {
    if (frame->views.empty() || view == frame->primary)
        return convertedSource(frame, depth, camFov);
    if (rendersFromPart(*frame, view))
        return convertedSource(frame->views[view].frame, depth, camFov);
    std::shared_ptr<Frame> source = viewSource(*frame, view);
    convertDepth(*source, depth, camFov);
    return source;
}

} // namespace umbrix
