#include "bench/Benchmarks.h"
#include "bench/RowRuns.h"
#include "minihost/Host.h"
#include "process/ChunkSettings.h"
#include "process/OcclusionCapture.h"
#include "process/OcclusionPass.h"
#include "process/OcclusionSamples.h"
#include "tool/ClassIdentifier.h"

#include <stdexcept>

using namespace umbrix::process;

namespace bench {

namespace {

class LoadedTool {
  public:
    LoadedTool() : Plugin(UMBRIX_PLUGIN_PATH) {
        const Registry* tool = minihost::findClass(UmbrixClassIdentifier);
        if (!tool)
            throw std::runtime_error("the tool library registered no tool");
        Tool = minihost::create(*tool);
    }

    void set(const char* id, double value) {
        minihost::setValue(*Tool, *minihost::findInput(*Tool, id), value);
    }
    Operator& tool() { return *Tool; }

  private:
    minihost::Plugin Plugin;
    minihost::OperatorPtr Tool;
};

LoadedTool& loadedTool() {
    static LoadedTool loaded;
    return loaded;
}

// What the tool's first run records of the frame.
struct Captured {
    OcclusionSamples samples;

    explicit Captured(const ChunkControls& controls) {
        samples.reset(Width, Height);
        for (int y = 0; y < Height; ++y) {
            PixelAccessor source(scene());
            captureOcclusionRow(y, source, chunkSettings(controls), Width, samples);
        }
    }
};

} // namespace

void ToolRender(benchmark::State& state) {
    const Setting setting = settingOf(state);
    LoadedTool& loaded = loadedTool();
    loaded.set("UseNormals", 1.0);
    loaded.set("UseSSAO", 1.0);
    loaded.set("Matrix", setting.matrix);
    loaded.set("FilterMethod", setting.filterMethod);
    minihost::setThreads(setting.threads);
    minihost::connect(*minihost::findInput(loaded.tool(), "Input"), &scene());
    // Frames of a sequence after the first: the tool's buffer and the host's planes are in place.
    if (!minihost::render(loaded.tool()).ok)
        state.SkipWithError("the render failed");
    FrameClock clock;
    for (auto _ : state) {
        clock.start();
        const minihost::RenderResult result = minihost::render(loaded.tool());
        clock.stop();
        if (!result.ok)
            state.SkipWithError("the render failed");
    }
    minihost::connect(*minihost::findInput(loaded.tool(), "Input"), nullptr);
    minihost::setThreads(0);
    clock.reportTool(state, "render", setting);
}

void ToolOcclusion(benchmark::State& state) {
    const Setting setting = settingOf(state);
    const ChunkControls controls = toolControls(setting);
    Captured captured(controls);
    const auto output = minihost::makeImage(Width, Height, sceneChannels());
    tbb::task_arena arena(setting.threads);
    FrameClock clock;
    for (auto _ : state) {
        // What the second run forms of the samples, it forms in every render.
        captured.samples.reset(Width, Height);
        clock.start();
        eachRow(arena, [&](int y) {
            PixelAccessor source(scene());
            PixelAccessor result(*output);
            // Formed in every chunk, as the tool's chunks form them.
            occlusionPass(y, source, result, chunkSettings(controls), Width, Height,
                          captured.samples);
        });
        clock.stop();
    }
    clock.reportTool(state, "occlusion", setting);
}

} // namespace bench
