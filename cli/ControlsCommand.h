#pragma once

#include <optional>
#include <string>

namespace umbrix {

// `umbrix controls [--json]`: identifier, displayed name, kind, default and range of every control.
void runControls(bool json, const std::optional<std::string>& library);

// `umbrix about`: the tool's About text.
void runAbout(const std::optional<std::string>& library);

} // namespace umbrix
