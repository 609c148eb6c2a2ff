#pragma once

#include "minihost/Host.h"

namespace bench {

// A ray-traced frame like the program's demo: spheres and boxes on a ground plane before a wall,
// with lit colour in R G B A, camera-space depth in channel 4 and unit camera-space normals
// (x, y, z) in channels 10, 11 and 12.
minihost::ImagePtr benchScene(int width, int height);

} // namespace bench
