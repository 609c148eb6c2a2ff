#include "process/ChunkControls.h"

#include <cmath>
#include <limits>

namespace umbrix::process {

std::int32_t toRadius(double matrix) {
    if (std::isnan(matrix))
        return 0;
    if (matrix >= 2147483648.0)
        return std::numeric_limits<std::int32_t>::max();
    if (matrix <= -2147483649.0)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(matrix);
}

} // namespace umbrix::process
