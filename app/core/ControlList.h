#pragma once

#include "host/Input.h"

#include <string>
#include <vector>

namespace umbrix {

// The tool's controls as `umbrix controls --json` prints them and the look page builds its page
// from: a JSON array, one object a control, in their order.
std::string controlsJson(const std::vector<Input*>& controls);

// The same as a table for people: a heading, then identifier, name, kind, default and range of
// each control, one a line.
std::vector<std::string> controlsTable(const std::vector<Input*>& controls);

} // namespace umbrix
