#pragma once

#include "process/OcclusionSamples.h"
#include "process/WindowSettings.h"

#include <cstddef>
#include <cstdint>

namespace umbrix::process {

// The occlusion value of every pixel of row y, in the modes that compare normals: values[x] for
// pixel x. Needs radius >= 1.
void weightedWindows(const OcclusionSamples& samples, std::int32_t y,
                     const WindowSettings& settings, float* values);

// How many neighbours count for every pixel of row y, for "disabled" mode. Needs radius >= 1.
void countedWindows(const OcclusionSamples& samples, std::int32_t y, const WindowSettings& settings,
                    std::int32_t* counts);

// The falloff weight of every t as the weighted windows form it, for t[0 .. count - 1]. Only a
// test calls it: it proves the weights over every reachable t, which no set of windows reaches.
void windowFalloffWeights(const float* t, std::size_t count, float* weights);

// The instruction set the functions above run with.
const char* windowInstructionSet();

} // namespace umbrix::process
