#pragma once

#include "app/core/ControlValues.h"
#include "app/core/FrameSource.h"
#include "app/core/Warning.h"

#include <cstddef>

namespace umbrix {

// What a frame's stored look (the "umbrix:<identifier>" values the program stamps into what it
// writes, see outputStamp) gave.
struct StoredLook {
    std::size_t applied = 0; // values taken
    Warnings warnings;       // values left out: no such control, or no value for it
};

// Sets `values` from the look stored in `frame`, each stored value by the rules a settings file's
// follow. A value that is none for the tool is left out with a warning naming the file and the
// attribute, never an error: the file may come from another version of the program.
StoredLook applyStoredLook(const Frame& frame, ControlValues& values);

} // namespace umbrix
