#pragma once

#include "app/Failure.h"
#include "app/files/ImageFormats.h"

namespace umbrix {

// The formats module could not be loaded (short of memory, most often). The message names the
// module: the caller knows which image needed it.
class FormatsUnavailable : public RunError {
  public:
    using RunError::RunError;
};

// The formats module, loaded on first use and kept for the program's life. FormatsUnavailable
// when it cannot be loaded.
ImageFormats& imageFormats();

} // namespace umbrix
