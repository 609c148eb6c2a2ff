#pragma once

#include "app/images/Frame.h"

#include <OpenEXR/ImfPixelType.h>

namespace umbrix {

// The frame's sample types in OpenEXR's words, and back.
inline Imf::PixelType exrType(SampleType type) {
    switch (type) {
    case SampleType::Uint:
        return Imf::UINT;
    case SampleType::Half:
        return Imf::HALF;
    case SampleType::Float:
    case SampleType::Double: // no file holds these: they come from arrays
    case SampleType::LongDouble:
        break;
    }
    return Imf::FLOAT;
}

inline SampleType sampleTypeOf(Imf::PixelType type) {
    if (type == Imf::UINT)
        return SampleType::Uint;
    return type == Imf::HALF ? SampleType::Half : SampleType::Float;
}

} // namespace umbrix
