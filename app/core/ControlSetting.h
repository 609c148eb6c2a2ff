#pragma once

#include "app/Suggestion.h"
#include "host/Input.h"
#include "minihost/Host.h"

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace umbrix {

// One control value, checked against the tool's controls.
struct ControlSetting {
    Input* control = nullptr;
    double value = 0.0;
};

// The control an identifier names: the one spelt so, or else the only one spelt so ignoring case.
// UsageError, starting with `where`, when there is none (suggesting the closest identifier) or it
// takes no value (a button, the image input).
Input* findControl(std::string_view id, const std::vector<Input*>& controls,
                   const std::string& where);

// A value as typed: a number as strtod reads it with nothing but blanks around it; a switch also
// takes on/off, true/false, yes/no, and a combo an entry name, in any case. UsageError, starting
// with `where`, when it is none of those.
double parseControlValue(const minihost::ControlInfo& info, std::string_view text,
                         const std::string& where);

// A control value as a face was given it: a number; text as typed on the command line; a bool,
// which only a switch takes (as 1 or 0); or something that is none of these (a list, None).
// `shown` is how the caller wrote it, for messages.
struct GivenValue {
    std::variant<std::monostate, double, std::string, bool> value;
    std::string shown;
};
// The value `given` sets the control to, by the same rules from every face. UsageError, starting
// with `where`, when it is no value for it.
double givenValue(const minihost::ControlInfo& info, const GivenValue& given,
                  const std::string& where);

// One --set ID=VALUE. UsageError, with a suggestion for a mistyped identifier, when the text is not
// a setting.
ControlSetting parseControlSetting(std::string_view text, const std::vector<Input*>& controls);

// The value as the control's entry or state, where it has one: "1 (on)", "0 (Rendered Normals)".
std::string describedValue(const minihost::ControlInfo& info, double value);

// The values the control declares it takes, in words: "0 to 200, whole numbers", "0 (off) or 1
// (on)". A value outside them reaches the tool all the same, as from a host.
std::string declaredRange(const minihost::ControlInfo& info);
bool withinDeclaredRange(const minihost::ControlInfo& info, double value);

} // namespace umbrix
