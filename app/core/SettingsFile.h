#pragma once

#include "app/core/ControlSetting.h"
#include "app/images/DepthConvention.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace umbrix {

// A look kept in a file: a JSON object of control values by identifier, as `umbrix controls` lists
// them, {"Matrix": 16, "FilterMethod": "Calculated Normals", ...}. A value is a JSON number, or a
// string read as --set reads a value ("nan", "on", an entry name), or true/false for a switch. The
// key "depth", never a control's, holds how the input's depth channel measures depth, as --depth
// takes it ("inverse", "normalized:1:100"); absent, z.
inline constexpr const char* DepthKey = "depth";

// The value of the "depth" key, from a file or a dict of settings. UsageError, starting with
// `where`, for one that is no convention.
DepthConvention depthSetting(const GivenValue& given, const std::string& where);

struct SettingsContent {
    std::vector<ControlSetting> settings; // in the file's order
    std::optional<DepthConvention> depth;
};

// The file's settings and depth. RunError when it cannot be read; UsageError naming the file, and
// the key where one is wrong.
SettingsContent readSettingsFile(const std::string& path, const std::vector<Input*>& controls);

// The same from JSON text held elsewhere, `where` naming it in messages.
SettingsContent readSettings(std::string_view json, const std::vector<Input*>& controls,
                             const std::string& where);

// One value as such a file gives it, `json` its JSON text. UsageError, starting with `where`, when
// it is no value for the control.
double controlValueFromJson(const minihost::ControlInfo& info, std::string_view json,
                            const std::string& where);

// Values by identifier as such a file holds them, so that reading it back gives the tool the same
// values to the bit; `depth`, --depth's text, after them unless empty.
std::string settingsText(const std::vector<std::pair<std::string, double>>& values,
                         const std::string& depth = {});
// Writes such a text atomically. RunError, naming the file, on failure.
void saveSettingsFile(const std::string& path, const std::string& text);

} // namespace umbrix
