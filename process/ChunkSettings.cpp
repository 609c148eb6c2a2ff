#include "process/ChunkSettings.h"

#include "process/AngleThreshold.h"

#include <cmath>
#include <limits>

namespace {

// The combo's value compared as a float with 0 and 2; anything else behaves as 1, which compares
// channels 0-2 as the first run leaves them.
ComparedNormals comparedNormals(float filterMethod, bool useNormals) {
    if (filterMethod == 0.0f)
        return ComparedNormals::Rendered;
    if (filterMethod == 2.0f)
        return ComparedNormals::None;
    return useNormals ? ComparedNormals::Calculated : ComparedNormals::Zeros;
}

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
    settings.useNormals = controls.useNormals != 0.0f;
    settings.normals.halfAngleSine =
        sinf(static_cast<float>(controls.camFOV * 0.017453292519943295) * 0.5f);
    settings.normals.zControl = controls.normalsZ;
    settings.windows =
        windowSettings(controls, comparedNormals(controls.filterMethod, settings.useNormals));
    return settings;
}
