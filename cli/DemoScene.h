#pragma once

#include "app/core/FrameSource.h"

namespace umbrix {

// A small ray-traced scene as a renderer would write it: spheres and boxes on a ground plane
// before a wall. Channels R G B A (lit colour), Z (camera-space depth), N.X N.Y N.Z (unit
// camera-space normals, z toward the viewer) and diffuse.R diffuse.G diffuse.B (surface colour).
PlainImage demoScene(int width, int height);

} // namespace umbrix
