#include "process/NormalsPass.h"

#include "contract/Controls.h"
#include "process/NormalGeometry.h"
#include "process/SourceRows.h"

#include <utility>

namespace umbrix::process {

void normalsPass(std::int32_t y, PixelAccessor& source, PixelAccessor& result,
                 const ChunkSettings& settings, std::int32_t width, std::int32_t height) {
    const RowGeometry row = rowGeometry(settings.normals, y, width, height);
    SourceRows rows(source, y, width, height);
    float h = 0.0f;
    for (std::int32_t x = 0; x < width; ++x) {
        const NeighbourDepths depths = rows.advance(x);
        const StoredNormal n =
            normalFromDepths(row, h, depths.left, depths.right, depths.above, depths.below);
        FloatPixel& record = rows.centre();
        record[ResultNormalZ] = n.c0;
        record[ResultNormalY] = n.c1;
        record[ResultNormalX] = n.c2;
        result.MoveTo(x, y);
        result.WritePixel(record);
        h = h + row.s;
    }
}

} // namespace umbrix::process
