#pragma once

#include "host/Image.h"
#include "minihost/Host.h"
#include "tests/reference/ReferenceControls.h"

namespace reference {

// What the tool renders from `source`, computed the slow, literal way: single-threaded, rows in
// order, every pixel moved as a whole FloatPixel through a PixelAccessor. It shares no code with
// the tool, so that the tool's faster passes can be checked against it bit for bit.
minihost::ImagePtr referenceRender(const Image& source, const ReferenceControls& controls);

// The angle in degrees between the normals that "FilterMethod" compares for a centre and a
// neighbour record (NaN where there is none), the value held against the angle limit.
float occlusionAngle(const FloatPixel& centre, const FloatPixel& neighbour, float filterMethod);

} // namespace reference
