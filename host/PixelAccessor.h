#pragma once

#include "host/FloatPixel.h"
#include "host/Image.h"

#include <cstddef>
#include <cstdint>

// A position on one image and its read and write functions. Row tables are looked up at every
// MoveTo; strides and functions are copied once.
class PixelAccessor {
  public:
    explicit PixelAccessor(Image& image)
        : Img(image), FirstStride(image.FirstStride),
          FirstAddress(image.FirstRows ? image.FirstRows[0] : nullptr), Read(image.Read),
          Write(image.Write), SecondAddress(image.SecondRows ? image.SecondRows[0] : nullptr),
          SecondStride(image.SecondStride) {}

    // No bounds test: the caller keeps (x, y) inside the image.
    void MoveTo(std::int32_t x, std::int32_t y) {
        if (Img.FirstRows)
            FirstAddress = Img.FirstRows[y] + std::ptrdiff_t{x} * FirstStride;
        if (Img.SecondRows)
            SecondAddress = Img.SecondRows[y] + std::ptrdiff_t{x} * SecondStride;
    }

    void ReadPixel(FloatPixel& record) { Read(&record, FirstAddress, SecondAddress, &Img); }
    void WritePixel(FloatPixel& record) { Write(&record, FirstAddress, SecondAddress, &Img); }

  private:
    Image& Img;
    std::int32_t FirstStride;
    std::uint8_t* FirstAddress;
    PixelFunction Read;
    PixelFunction Write;
    std::uint8_t* SecondAddress;
    std::int32_t SecondStride;
};
