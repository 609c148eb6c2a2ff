#include "process/OcclusionPass.h"

#include "contract/Controls.h"
#include "process/NormalGeometry.h"
#include "process/OcclusionCapture.h"
#include "process/OcclusionWindow.h"

#include <algorithm>
#include <vector>

namespace umbrix::process {

namespace {

// The occlusion value of every pixel of row y.
std::vector<float> occlusionValues(const OcclusionSamples& samples, std::int32_t y,
                                   const WindowSettings& settings) {
    const auto width = static_cast<std::size_t>(samples.width());
    std::vector<float> values(width, 1.0f);
    if (!windowsCanSubtract(settings))
        return values;
    if (settings.compared != ComparedNormals::None) {
        weightedWindows(samples, y, settings, values.data());
        return values;
    }
    std::vector<std::int32_t> counts(width);
    countedWindows(samples, y, settings, counts.data());
    // Every counting neighbour subtracts the same amount, so the value depends only on the count;
    // the table is built by subtracting one at a time, as the window does.
    const std::int32_t most = *std::max_element(counts.begin(), counts.end());
    std::vector<float> table(1, 1.0f);
    while (table.size() <= static_cast<std::size_t>(most))
        table.push_back(table.back() - settings.amount);
    for (std::size_t x = 0; x < width; ++x)
        values[x] = table[static_cast<std::size_t>(counts[x])];
    return values;
}

// Channels 0-2 of the pre-occlusion content of row y: with "UseNormals" off zeros, otherwise the
// normals, which "Calculated Normals" has recorded and the other modes form again from the recorded
// depths, the source's, as the normals pass reads them.
struct NormalRow {
    const float* c0;
    const float* c1;
    const float* c2;
};

NormalRow preOcclusionNormals(const ChunkSettings& settings, std::int32_t y, std::int32_t width,
                              std::int32_t height, OcclusionSamples& samples, float* scratch) {
    const auto size = static_cast<std::size_t>(width);
    if (!settings.useNormals) {
        std::fill_n(scratch, size, 0.0f);
        return {scratch, scratch, scratch};
    }
    if (settings.windows.compared == ComparedNormals::Calculated)
        return {samples.normal(0, y), samples.normal(1, y), samples.normal(2, y)};
    const RowNormals normals{scratch, scratch + size, scratch + 2 * size};
    calculatedNormals(y, settings.normals, width, height, samples, normals);
    return {normals.c0, normals.c1, normals.c2};
}

// With the calculated normals compared, the rows the windows of row y reach, and row y itself,
// hold their normals once formed from the recorded depths. The windows' vector loads at the ends
// of a row reach into the rows before and after, with lanes that are masked off; those rows are
// formed first too, so that no load meets another chunk forming them.
void formNormalRows(std::int32_t y, const ChunkSettings& settings, std::int32_t width,
                    std::int32_t height, OcclusionSamples& samples) {
    const WindowSettings& windows = settings.windows;
    if (windows.compared != ComparedNormals::Calculated)
        return;
    const auto form = [&](std::int32_t row) {
        formCalculatedNormals(row, settings.normals, width, height, samples);
    };
    std::int64_t first = y, last = y;
    if (windowsCanSubtract(windows)) {
        first = std::max<std::int64_t>(std::int64_t{y} - windows.radius - 1, 0);
        last = std::min<std::int64_t>(std::int64_t{y} + windows.radius, height - 1);
    }
    for (std::int64_t row = first; row <= last; ++row)
        samples.normalRows().ensure(static_cast<std::int32_t>(row), form);
}

} // namespace

void occlusionPass(std::int32_t y, PixelAccessor& source, PixelAccessor& result,
                   const ChunkSettings& settings, std::int32_t width, std::int32_t height,
                   OcclusionSamples& samples) {
    formNormalRows(y, settings, width, height, samples);
    const std::vector<float> values = occlusionValues(samples, y, settings.windows);
    std::vector<float> scratch(3 * static_cast<std::size_t>(width));
    const NormalRow normals =
        preOcclusionNormals(settings, y, width, height, samples, scratch.data());
    FloatPixel record;
    for (std::int32_t x = 0; x < width; ++x) {
        source.MoveTo(x, y);
        source.ReadPixel(record);
        record[ResultNormalZ] = normals.c0[x];
        record[ResultNormalY] = normals.c1[x];
        record[ResultNormalX] = normals.c2[x];
        record[ResultOcclusion] = values[static_cast<std::size_t>(x)];
        result.MoveTo(x, y);
        result.WritePixel(record);
    }
}

} // namespace umbrix::process
