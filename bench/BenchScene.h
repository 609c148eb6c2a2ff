#pragma once

#include "minihost/Host.h"

namespace bench {

// The program's demo scene at the given size, its channels mapped as the program maps them: lit
// colour in R G B A, depth in channel 4 and unit normals in 10-12; the surface colour, which the
// tool does not read, stays outside the image as the program keeps it.
minihost::ImagePtr benchScene(int width, int height);

} // namespace bench
