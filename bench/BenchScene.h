#pragma once

#include "minihost/Host.h"

namespace bench {

// The program's demo scene at the given size, its channels mapped as the program maps them: lit
// colour in R G B A, depth in channel 4, unit normals in 10-12 and the surface colour above.
minihost::ImagePtr benchScene(int width, int height);

} // namespace bench
