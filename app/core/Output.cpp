#include "app/core/Output.h"

#include "app/core/OutputStamp.h"
#include "app/files/AtomicFile.h"
#include "app/files/ImageFile.h"
#include "app/images/HostImage.h"

#include <fmt/format.h>
#include <stdexcept>

namespace umbrix {

OutputShape outputShape(const OutputRequest& request) {
    OutputShape shape;
    OutputOptions& output = shape.options;
    if (request.channels)
        output.picks = parseChannelPicks(*request.channels);
    for (const std::string& text : request.types)
        output.types.push_back(parseTypeChoice(text));
    if (request.compression) {
        output.compression = parseCompression(*request.compression);
        if (output.compression->lossy)
            shape.warnings.push_back({Warning::Kind::LossyCompression,
                                      fmt::format("--compression {} is lossy: carried channels "
                                                  "will not keep their bits",
                                                  *request.compression)});
    }
    output.clamp = request.clamp;
    return shape;
}

OutputFormat formatOf(const std::string& path) {
    return outputFormat(path);
}

void checkOutputChannels(const Frame& frame, const OutputOptions& options,
                         const OutputFormat& format) {
    outputChannels(frame, options, !format.exr, format.alpha);
    if (format.exr)
        for (std::size_t v = 0; v < frame.views.size(); ++v)
            if (rendersFromPart(frame, v))
                outputChannels(*frame.views[v].frame, options, false, true);
}

Warnings writeWarnings(const Frame& frame, const OutputFormat& format, const OutputOptions& options,
                       const std::string& shown) {
    Warnings warnings;
    const std::vector<std::string> dropped = droppedChannels(frame, format, options);
    if (!dropped.empty())
        warnings.push_back(
            {Warning::Kind::DroppedChannels,
             fmt::format("{} keeps R G B{} only; dropped {} (write .exr to keep every channel)",
                         shown, format.alpha ? " A" : "", fmt::join(dropped, " "))});
    // Views in parts of their own are not among the frame's channels.
    std::vector<std::string> views;
    for (std::size_t v = 0; v < frame.views.size(); ++v)
        if (v != frame.primary && frame.views[v].part >= 0)
            views.push_back(frame.views[v].name);
    if (!format.exr && !views.empty())
        warnings.push_back({Warning::Kind::DroppedChannels,
                            fmt::format("{} holds view {} only; dropped view{} {} (write .exr to "
                                        "keep every view)",
                                        shown, frame.views[frame.primary].name,
                                        views.size() > 1 ? "s" : "", fmt::join(views, " "))});
    return warnings;
}

void writeResult(const std::string& path, const OutputFormat& format, Rendered& result,
                 const OutputOptions& options, const ControlValues& values) {
    OutputOptions stamped = options;
    stamped.stamp = outputStamp(values);
    for (Attribute& attribute : writingTime())
        stamped.stamp.push_back(std::move(attribute));
    FrameResults results{result.image.get(), {}};
    for (const minihost::ImagePtr& view : result.views)
        results.views.push_back(view.get());
    results.views.resize(result.source->views.size());
    for (std::size_t v = 0; v < results.views.size(); ++v)
        if (rendersApart(*result.source, v) && !results.views[v])
            throw std::logic_error("a view of " + path + " was written before it was rendered");
    writeFrame(path, format, *result.source, results, stamped);
}

void keepOutputsWholeOnSignal() {
    removeTemporaryOnSignal();
}

std::vector<float> resultPixels(const Rendered& result) {
    return gatherPixels(*result.image, {0, 1, 2, 3});
}

} // namespace umbrix
