#include "bench/BenchFrame.h"
#include "bench/Benchmarks.h"
#include "minihost/Host.h"

namespace bench {

void HostNewImage(benchmark::State& state) {
    for (auto _ : state) {
        auto image = minihost::makeImage(Width, Height, sceneChannels());
        benchmark::DoNotOptimize(image.get());
    }
}

} // namespace bench
