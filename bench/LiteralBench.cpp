#include "bench/Benchmarks.h"
#include "bench/RowRuns.h"
#include "minihost/Host.h"
#include "tests/reference/ReferencePasses.h"

namespace bench {

// The pre-occlusion content of every row first, then the occlusion of every row, reading the
// first image and writing the second, so that rows can run at once.
void LiteralRender(benchmark::State& state) {
    const Setting setting = settingOf(state);
    const reference::ChunkValues values = literalValues(setting);
    tbb::task_arena arena(setting.threads);
    FrameClock frame;
    FrameClock occlusion;
    for (auto _ : state) {
        const auto pre = minihost::makeImage(Width, Height, sceneChannels());
        const auto output = minihost::makeImage(Width, Height, sceneChannels());
        frame.start();
        eachRow(arena, [&](int y) {
            PixelAccessor source(scene());
            PixelAccessor normals(*pre);
            reference::normalsRow(y, source, normals, values, Width, Height);
        });
        occlusion.start();
        eachRow(arena, [&](int y) {
            PixelAccessor normals(*pre);
            PixelAccessor result(*output);
            reference::occlusionRow(y, normals, result, values, Width, Height);
        });
        occlusion.stop();
        frame.stop();
    }
    frame.reportLiteral(state, "render", setting);
    const double occlusionMs = occlusion.medianMs();
    recordLiteral("occlusion", setting, occlusionMs);
    state.counters["occlusion ms"] = occlusionMs;
}

} // namespace bench
