#include "process/WindowSettings.h"

#include "process/AngleThreshold.h"

#include <cmath>
#include <limits>

// B[4] > A[4] holds exactly when D > 0, NaN and infinities included: the difference of two
// different finite floats is never rounded to zero. Given D > 0, "not SmalDepth > D" is D >= low
// (a NaN or non-positive SmalDepth bounds nothing but D > 0, that is D >= the smallest positive
// float), and "not D > DepthThreshold" is D <= high (a NaN threshold bounds nothing).
WindowSettings windowSettings(const ChunkControls& controls) {
    WindowSettings settings;
    settings.radius = controls.matrix;
    settings.mode = normalsMode(controls.filterMethod);
    settings.low =
        controls.smallDepth > 0.0f ? controls.smallDepth : std::numeric_limits<float>::denorm_min();
    settings.high = std::isnan(controls.depthThreshold) ? std::numeric_limits<float>::infinity()
                                                        : controls.depthThreshold;
    settings.scale = controls.depthThreshold / 10.0f;
    settings.amount = controls.amount;
    if (settings.mode != NormalsMode::Disabled)
        settings.threshold = angleThreshold(controls.normalsAngle);
    return settings;
}

bool windowsCanSubtract(const WindowSettings& settings) {
    if (settings.radius < 1)
        return false;
    return settings.mode == NormalsMode::Disabled || settings.threshold > -1.0f;
}
