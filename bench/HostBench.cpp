#include "bench/BenchFrame.h"
#include "bench/Benchmarks.h"
#include "bench/RowRuns.h"
#include "host/PixelAccessor.h"
#include "minihost/Host.h"

#include <vector>

namespace bench {

void HostNewImage(benchmark::State& state) {
    const std::vector<int> channels = sceneChannels();
    for (auto _ : state) {
        auto image = minihost::makeImage(Width, Height, channels);
        benchmark::DoNotOptimize(image.get());
    }
}

void HostRecordCopy(benchmark::State& state) {
    const auto threads = static_cast<int>(state.range(0));
    const auto output = minihost::makeImage(Width, Height, sceneChannels());
    tbb::task_arena arena(threads);
    for (auto _ : state)
        eachRow(arena, [&](int y) {
            PixelAccessor source(scene());
            PixelAccessor result(*output);
            FloatPixel record;
            for (int x = 0; x < Width; ++x) {
                source.MoveTo(x, y);
                source.ReadPixel(record);
                result.MoveTo(x, y);
                result.WritePixel(record);
            }
        });
}

} // namespace bench
