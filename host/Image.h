#pragma once

#include "host/Api.h"
#include "host/FloatPixel.h"
#include "host/Parameter.h"
#include "host/TagList.h"

#include <cstdint>

class Image;

// The image's own conversion between a stored pixel, given by its address in each plane, and a
// FloatPixel. Several threads may call them at once for different pixels.
using PixelFunction = bool (*)(FloatPixel* record, std::uint8_t* first, std::uint8_t* second,
                               Image* image);

// An image in two planes; each plane has a row table and a pixel stride in bytes. A plane without
// a row table has a null one.
class HOST_API Image : public Parameter {
  public:
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::uint8_t** FirstRows = nullptr;
    std::uint8_t** SecondRows = nullptr;
    std::int32_t FirstStride = 0;
    std::int32_t SecondStride = 0;
    PixelFunction Read = nullptr;
    PixelFunction Write = nullptr;
};

// Tag of NewImage: the image whose size and channels the new one takes.
inline constexpr Tag TAG_ImageLike = 0x60020000;

// Makes a new image as the tags describe, owned by the host; null when it cannot.
HOST_API Image* NewImage(Tag tag, ...);
