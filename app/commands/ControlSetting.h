#pragma once

#include "host/Input.h"

#include <string>
#include <string_view>
#include <vector>

namespace umbrix {

// One --set ID=VALUE, checked against the tool's controls.
struct ControlSetting {
    Input* control = nullptr;
    double value = 0.0;
};

// A value is a number as strtod reads it, with nothing after it; a combo also takes an entry name.
// UsageError, with a suggestion for a mistyped identifier, when the text is not a setting.
ControlSetting parseControlSetting(std::string_view text, const std::vector<Input*>& controls);

} // namespace umbrix
