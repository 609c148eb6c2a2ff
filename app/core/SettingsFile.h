#pragma once

#include "app/core/ControlSetting.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace umbrix {

// A look kept in a file: a JSON object of control values by identifier, as `umbrix controls` lists
// them, {"Matrix": 16, "FilterMethod": "Calculated Normals", ...}. A value is a JSON number, or a
// string read as --set reads a value ("nan", "on", an entry name), or true/false for a switch.

// The file's settings, in the file's order. RunError when it cannot be read; UsageError naming the
// file, and the key where one is wrong.
std::vector<ControlSetting> readSettingsFile(const std::string& path,
                                             const std::vector<Input*>& controls);

// The same from JSON text held elsewhere, `where` naming it in messages.
std::vector<ControlSetting> readSettings(std::string_view json, const std::vector<Input*>& controls,
                                         const std::string& where);

// One value as such a file gives it, `json` its JSON text. UsageError, starting with `where`, when
// it is no value for the control.
double controlValueFromJson(const minihost::ControlInfo& info, std::string_view json,
                            const std::string& where);

// Values by identifier as such a file holds them, so that reading it back gives the tool the same
// values to the bit.
std::string settingsText(const std::vector<std::pair<std::string, double>>& values);
// Writes such a text atomically. RunError, naming the file, on failure.
void saveSettingsFile(const std::string& path, const std::string& text);

} // namespace umbrix
