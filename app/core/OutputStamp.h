#pragma once

#include "app/core/ControlValues.h"
#include "app/images/PlainImage.h"

#include <vector>

namespace umbrix {

// What every EXR the program writes says of how it was made: "Software" (the program and its
// version) and every control's value in effect as "umbrix:<identifier>", so a look can be
// reproduced from the file.
std::vector<Attribute> outputStamp(const ControlValues& values);

// The time of writing as EXR keeps it: capDate (local time, YYYY:MM:DD HH:MM:SS) and utcOffset
// (seconds from local time to UTC).
std::vector<Attribute> writingTime();

} // namespace umbrix
