#include "bench/BenchFrame.h"

#include "bench/BenchScene.h"
#include "minihost/Host.h"

#include <algorithm>
#include <limits>
#include <map>

using namespace umbrix::process;

namespace bench {

namespace {

std::map<std::string, double>& literalMedians() {
    static std::map<std::string, double> medians;
    return medians;
}

double insideCount(int radius, int size, int centre) {
    const int first = std::max(-radius, -centre);
    const int last = std::min(radius - 1, size - 1 - centre);
    return last >= first ? last - first + 1 : 0;
}

void settingArgs(benchmark::internal::Benchmark* b, bool oneThreadAtSixteen) {
    b->ArgNames({"Matrix", "FilterMethod", "threads"});
    for (int matrix : {5, 16})
        for (int filterMethod : {0, 1, 2})
            for (int threads : {1, 2})
                if (matrix == 5 || threads == 2 || oneThreadAtSixteen)
                    b->Args({matrix, filterMethod, threads});
    b->Unit(benchmark::kMillisecond);
}

} // namespace

std::string Setting::key() const {
    return std::to_string(matrix) + "/" + std::to_string(filterMethod) + "/" +
           std::to_string(threads);
}

void toolSettings(benchmark::internal::Benchmark* b) {
    settingArgs(b, true);
}

void literalSettings(benchmark::internal::Benchmark* b) {
    settingArgs(b, false);
}

Setting settingOf(const benchmark::State& state) {
    return {static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
            static_cast<int>(state.range(2))};
}

Image& scene() {
    static const minihost::ImagePtr frame = benchScene(Width, Height);
    return *frame;
}

std::vector<int> sceneChannels() {
    const std::vector<int>& all = minihost::channels(scene());
    return {all.begin() + 4, all.end()};
}

ChunkControls toolControls(const Setting& setting) {
    ChunkControls controls;
    controls.radius = setting.matrix;
    controls.smallDepth = 0.001f;
    controls.amount = 0.025f;
    controls.depthThreshold = 24.0f;
    controls.normalsZ = 0.05f;
    controls.normalsAngle = 45.0f;
    controls.useNormals = 1.0f;
    controls.filterMethod = static_cast<float>(setting.filterMethod);
    controls.camFOV = 45.0;
    return controls;
}

reference::ChunkValues literalValues(const Setting& setting) {
    return {setting.matrix,
            0.001f,
            0.025f,
            24.0f,
            0.05f,
            45.0f,
            1.0f,
            static_cast<float>(setting.filterMethod),
            45.0};
}

double windowPositions(int radius) {
    double columns = 0.0;
    double rows = 0.0;
    for (int x = 0; x < Width; ++x)
        columns += insideCount(radius, Width, x);
    for (int y = 0; y < Height; ++y)
        rows += insideCount(radius, Height, y);
    return columns * rows;
}

void FrameClock::stop() {
    const auto elapsed = std::chrono::steady_clock::now() - Began;
    Samples.push_back(std::chrono::duration<double, std::milli>(elapsed).count());
}

double FrameClock::medianMs() {
    if (Samples.empty())
        return 0.0;
    std::sort(Samples.begin(), Samples.end());
    const std::size_t half = Samples.size() / 2;
    return Samples.size() % 2 ? Samples[half] : (Samples[half - 1] + Samples[half]) / 2.0;
}

namespace {

void report(benchmark::State& state, const Setting& setting, double ms) {
    state.counters["ms/frame"] = ms;
    state.counters["ns/position"] = ms * 1e6 / windowPositions(setting.matrix);
}

} // namespace

void recordLiteral(const std::string& kind, const Setting& setting, double ms) {
    literalMedians()[kind + "/" + setting.key()] = ms;
}

void FrameClock::reportLiteral(benchmark::State& state, const std::string& kind,
                               const Setting& setting) {
    const double ms = medianMs();
    recordLiteral(kind, setting, ms);
    report(state, setting, ms);
    state.counters["x literal"] = 1.0;
}

void FrameClock::reportTool(benchmark::State& state, const std::string& kind,
                            const Setting& setting) {
    const double ms = medianMs();
    report(state, setting, ms);
    // NaN where the literal passes did not run on this configuration.
    const auto literal = literalMedians().find(kind + "/" + setting.key());
    state.counters["x literal"] = literal != literalMedians().end() && ms > 0.0
                                      ? literal->second / ms
                                      : std::numeric_limits<double>::quiet_NaN();
}

} // namespace bench
