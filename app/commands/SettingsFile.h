#pragma once

#include "app/commands/ControlSetting.h"

#include <string>
#include <vector>

namespace umbrix {

// A look kept in a file: a JSON object of control values by identifier, as `umbrix controls` lists
// them, {"Matrix": 16, "FilterMethod": "Calculated Normals", ...}. A value is a JSON number, or a
// string read as --set reads a value ("nan", "on", an entry name), or true/false for a switch.

// The file's settings, in the file's order. RunError when it cannot be read; UsageError naming the
// file, and the key where one is wrong.
std::vector<ControlSetting> readSettingsFile(const std::string& path,
                                             const std::vector<Input*>& controls);

// Writes the value in effect of every control that takes one, so that reading the file back gives
// the tool the same values to the bit. RunError, naming the file, on failure.
void saveSettingsFile(const std::string& path, const std::vector<Input*>& controls);

} // namespace umbrix
