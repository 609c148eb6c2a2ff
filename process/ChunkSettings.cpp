#include "process/ChunkSettings.h"

#include "contract/Controls.h"
#include "process/AngleThreshold.h"

#include <cmath>
#include <limits>

namespace umbrix::process {

namespace {

// B[4] > A[4] holds exactly when D > 0, NaN and infinities included: the difference of two
// different finite floats is never rounded to zero. Given D > 0, "not SmalDepth > D" is D >= low
// (a NaN or non-positive SmalDepth bounds nothing but D > 0, that is D >= the smallest positive
// float), and "not D > DepthThreshold" is D <= high (a NaN threshold bounds nothing).
WindowSettings windowSettings(const ChunkControls& controls, ComparedNormals compared) {
    WindowSettings settings;
    settings.radius = controls.radius;
    settings.compared = compared;
    settings.low =
        controls.smallDepth > 0.0f ? controls.smallDepth : std::numeric_limits<float>::denorm_min();
    settings.high = std::isnan(controls.depthThreshold) ? std::numeric_limits<float>::infinity()
                                                        : controls.depthThreshold;
    settings.scale = controls.depthThreshold / 10.0f;
    settings.amount = controls.amount;
    if (compared != ComparedNormals::None)
        settings.threshold = angleThreshold(controls.normalsAngle);
    return settings;
}

} // namespace

ChunkSettings chunkSettings(const ChunkControls& controls) {
    ChunkSettings settings;
    settings.useNormals = switchedOn(controls.useNormals);
    settings.normals.halfAngleSine = halfAngleSine(controls.camFOV);
    settings.normals.zControl = controls.normalsZ;
    settings.windows =
        windowSettings(controls, comparedNormals(controls.filterMethod, settings.useNormals));
    return settings;
}

} // namespace umbrix::process
