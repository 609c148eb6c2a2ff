#include "host/Request.h"

#include "host/Operator.h"
#include "minihost/Internal.h"

#include <algorithm>
#include <utility>

struct RequestRecord {
    double time = 0.0;
    std::vector<std::pair<const InputRecord*, Number>> numbers; // values as the request began
    std::vector<std::pair<Output*, Parameter*>> outputs;
    std::stop_token stop; // once requested, DoMultiProcess starts no more chunks
};

namespace {

// Images made by NewImage during the render on this thread.
thread_local std::vector<std::unique_ptr<Parameter>>* renderImages = nullptr;

class RenderScope {
  public:
    explicit RenderScope(std::vector<std::unique_ptr<Parameter>>* images) { renderImages = images; }
    ~RenderScope() { renderImages = nullptr; }
    RenderScope(const RenderScope&) = delete;
    RenderScope& operator=(const RenderScope&) = delete;
};

} // namespace

double Request::GetTime() const {
    return Record->time;
}

Parameter* Request::GetInputData(Input* input, int /*flags*/) {
    if (!input)
        return nullptr;
    const InputRecord* wanted = input->record();
    for (auto& [record, number] : Record->numbers)
        if (record == wanted)
            return &number;
    return wanted->source;
}

bool Request::SetOutputData(Output* output, Parameter* data) {
    if (!output)
        return false;
    Record->outputs.emplace_back(output, data);
    return true;
}

namespace minihost {

namespace detail {

Image* adoptRenderImage(std::unique_ptr<Image> image) {
    if (!renderImages)
        return nullptr;
    renderImages->push_back(std::move(image));
    return static_cast<Image*>(renderImages->back().get());
}

std::stop_token renderStop(const Request& request) {
    return request.record() ? request.record()->stop : std::stop_token();
}

} // namespace detail

ImagePtr RenderResult::takeImage(const Output* out) {
    for (auto& [output, data] : outputs) {
        if (output == out && dynamic_cast<Image*>(data.get()))
            return ImagePtr(static_cast<Image*>(data.release()));
    }
    return nullptr;
}

RenderResult render(Operator& op, double time, std::stop_token stop) {
    RequestRecord record;
    record.time = time;
    record.stop = stop;
    for (const auto& input : op.record()->inputs)
        if (input->info.dataType != "Image")
            record.numbers.emplace_back(input.get(), input->value);
    Request request(&record);

    std::vector<std::unique_ptr<Parameter>> images;
    RenderResult result;
    {
        RenderScope scope(&images);
        result.ok = op.Process(&request);
    }
    result.abandoned = stop.stop_requested();
    // The result owns what the operator handed over; images it made and kept are dropped.
    for (auto& [output, data] : record.outputs) {
        auto owned = std::find_if(images.begin(), images.end(),
                                  [data = data](const auto& image) { return image.get() == data; });
        if (owned != images.end())
            result.outputs.emplace_back(output, std::move(*owned));
    }
    return result;
}

} // namespace minihost
