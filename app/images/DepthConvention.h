#pragma once

#include "app/images/PlainImage.h"

#include <string>
#include <string_view>

namespace umbrix {

// How a file's depth channel measures depth. The tool reads planar depth in scene units (z, along
// the camera's axis); every other convention is converted to it before the tool sees the frame.
struct DepthConvention {
    enum class Kind {
        Z,                  // planar depth: taken as it is
        Inverse,            // 1/z: z = 1 / d
        Distance,           // along each pixel's ray: z = d / sqrt(1 + u^2 + v^2)
        Normalized,         // 0 near, 1 far: z = NEAR + d * (FAR - NEAR)
        NormalizedInverted, // 1 near, 0 far: z = FAR - d * (FAR - NEAR)
    };
    Kind kind = Kind::Z;
    float nearDepth = 0.0f; // the normalized kinds' NEAR and FAR
    float farDepth = 0.0f;
};

// --depth's text: z, inverse, distance, normalized:NEAR:FAR or normalized-inverted:NEAR:FAR, NEAR
// and FAR finite with NEAR < FAR. UsageError for anything else.
DepthConvention parseDepthConvention(std::string_view text);
// The text that parses back to the same convention, as -v shows it.
std::string depthConventionText(const DepthConvention& convention);

// A file's screen window (EXR's screenWindowWidth and screenWindowCenter): the part of the plane
// at distance 1 in front of the camera that the display window spans, x right and y up.
struct ScreenWindow {
    float width = 1.0f;
    float centreX = 0.0f;
    float centreY = 0.0f;
};

// The ray through each pixel, for Distance: pixel (px, py) of pixel space, its centre at
// (px + 0.5, py + 0.5), looks along (u, v, 1) with
//   u = centreX + (px + 0.5 - displayCentreX) * perPixel
//   v = centreY - (py + 0.5 - displayCentreY) * perPixel
// the display window's centre being (fullX + fullWidth / 2, fullY + fullHeight / 2). Square pixels.
struct RayCamera {
    float perPixel = 0.0f; // screen units from one pixel to the next
    float centreX = 0.0f;  // the screen position of the display window's centre
    float centreY = 0.0f;
};
// A camera whose horizontal field of view, `degrees`, spans the display window's width:
// perPixel = 2 * tan(degrees / 2) / fullWidth, its axis through the display window's centre.
RayCamera fovCamera(const Windows& windows, double degrees);
// The camera a screen window describes: perPixel = width / fullWidth.
RayCamera screenCamera(const Windows& windows, const ScreenWindow& screen);

// Converts depth samples `d` of rows of the data window to planar depth, in place, in 32-bit
// floats in the order the formulas above are written. `origin` is sample (0, 0) of the data
// window; strides in bytes. The camera matters only to Distance; Z leaves the samples untouched.
void convertDepthSamples(char* origin, std::size_t xStride, std::size_t yStride,
                         const Windows& windows, const DepthConvention& convention,
                         const RayCamera& camera);

} // namespace umbrix
