#pragma once

#include "app/files/ImageFormats.h"

namespace umbrix {

// The formats module, loaded on first use and kept for the program's life. RunError when it
// cannot be loaded.
ImageFormats& imageFormats();

} // namespace umbrix
