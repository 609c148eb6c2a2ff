// The occlusion windows, vectorised across neighbouring centre pixels: lane l of a block holds
// centre pixel x0 + l and keeps its own v, and every lane visits its neighbours in window order
// (column offsets outer, row offsets inner) and subtracts with the same float operations as the
// one-pixel-at-a-time test. One file per job: the kernels (WeightedWindows-inl.h,
// CountedWindows-inl.h) and what they share (WindowBlocks-inl.h), how a neighbour is weighed
// (FalloffWeights-inl.h), and the proofs that settle a block without visiting it: one normal that
// cannot pass the angle test (FlatColumns-inl.h), normals whose ranges show that none can
// (NormalBoxes-inl.h), window rows whose depth range settles every lane's count
// (DepthRanges-inl.h). Compiled once per instruction set; the best one the machine runs is picked
// at the first call.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "process/OcclusionWindow.cpp"
#include "process/OcclusionWindow.h"

#include <hwy/foreach_target.h> // IWYU pragma: keep
#include <hwy/highway.h>
// After foreach_target.h, so that they are compiled for every instruction set it visits.
#include "process/CountedWindows-inl.h"
#include "process/FalloffWeights-inl.h"
#include "process/WeightedWindows-inl.h"

HWY_BEFORE_NAMESPACE();
namespace umbrix::process::window {
namespace HWY_NAMESPACE {

const char* instructionSet() {
    return hwy::TargetName(HWY_TARGET);
}

} // namespace HWY_NAMESPACE
} // namespace umbrix::process::window
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace umbrix::process {

namespace window {
HWY_EXPORT(weightedWindows);
HWY_EXPORT(countedWindows);
HWY_EXPORT(falloffWeights);
HWY_EXPORT(instructionSet);
} // namespace window

void weightedWindows(const OcclusionSamples& samples, std::int32_t y,
                     const WindowSettings& settings, float* values) {
    HWY_DYNAMIC_DISPATCH(window::weightedWindows)(samples, y, settings, values);
}

void countedWindows(const OcclusionSamples& samples, std::int32_t y, const WindowSettings& settings,
                    std::int32_t* counts) {
    HWY_DYNAMIC_DISPATCH(window::countedWindows)(samples, y, settings, counts);
}

void windowFalloffWeights(const float* t, std::size_t count, float* weights) {
    HWY_DYNAMIC_DISPATCH(window::falloffWeights)(t, count, weights);
}

const char* windowInstructionSet() {
    return HWY_DYNAMIC_DISPATCH(window::instructionSet)();
}

} // namespace umbrix::process

#endif
