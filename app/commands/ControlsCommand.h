#pragma once

#include "host/Input.h"

#include <optional>
#include <string>
#include <vector>

namespace umbrix {

// The tool's controls as `umbrix controls --json` prints them: a JSON array, one object a control.
std::string controlsJson(const std::vector<Input*>& controls);

// `umbrix controls [--json]`: identifier, displayed name, kind, default and range of every control.
void runControls(bool json, const std::optional<std::string>& library);

// What `controls --json` prints of these controls: a JSON array, in their order.
std::string controlsJson(const std::vector<Input*>& controls);

// `umbrix about`: the tool's About text.
void runAbout(const std::optional<std::string>& library);

} // namespace umbrix
