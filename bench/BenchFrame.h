#pragma once

#include "host/Image.h"
#include "process/ChunkControls.h"
#include "tests/reference/ReferencePasses.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <string>
#include <vector>

namespace bench {

inline constexpr int Width = 1920;
inline constexpr int Height = 1080;

// One measured configuration: "Matrix", "FilterMethod" and worker threads; every other control
// keeps the tool's default, with "Calculate SSAO" on.
struct Setting {
    int matrix;
    int filterMethod;
    int threads;

    std::string key() const;
};

// The configurations as benchmark arguments, and back. The literal passes take seconds per frame,
// so they run "Matrix" 16 with two threads only.
void toolSettings(benchmark::internal::Benchmark* b);
void literalSettings(benchmark::internal::Benchmark* b);
Setting settingOf(const benchmark::State& state);

// The frame every benchmark renders, made once.
Image& scene();
std::vector<int> sceneChannels();

umbrix::process::ChunkControls toolControls(const Setting& setting);
reference::ChunkValues literalValues(const Setting& setting);

// Neighbour positions inside the frame that the windows of radius r visit.
double windowPositions(int radius);

// Times a part of every iteration and reports its median as counters: ms per frame, ns per window
// position and, for the tool, how many times faster than the literal passes measured before on the
// same kind of work and configuration.
class FrameClock {
  public:
    void start() { Began = std::chrono::steady_clock::now(); }
    void stop();
    double medianMs();
    void reportLiteral(benchmark::State& state, const std::string& kind, const Setting& setting);
    void reportTool(benchmark::State& state, const std::string& kind, const Setting& setting);

  private:
    std::chrono::steady_clock::time_point Began;
    std::vector<double> Samples;
};

// Kinds of work measured: "render" (both runs through the loaded tool) and "occlusion" (the
// occlusion pass alone).
void recordLiteral(const std::string& kind, const Setting& setting, double ms);

} // namespace bench
