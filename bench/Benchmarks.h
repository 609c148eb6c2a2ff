#pragma once

#include <benchmark/benchmark.h>

namespace bench {

// Both runs of a frame with the literal passes, one whole FloatPixel per neighbour; records the
// medians of the whole frame and of its occlusion pass for the tool's benchmarks to compare with.
void LiteralRender(benchmark::State& state);

// The whole render through the loaded tool library, as the program renders a frame.
void ToolRender(benchmark::State& state);

// The tool's occlusion pass alone, the second run of a render, on samples recorded once.
void ToolOcclusion(benchmark::State& state);

// Making and releasing an output image of the frame's size and channels in the stand-in host, as
// NewImage does in every render: part of ToolRender's time that is not the tool's.
void HostNewImage(benchmark::State& state);
// Every pixel of the frame read from the scene and written to another image through the host's
// read and write functions, one record per pixel, as the occlusion pass's second run must at the
// least: the floor under ToolOcclusion that is not the tool's.
void HostRecordCopy(benchmark::State& state);

} // namespace bench
