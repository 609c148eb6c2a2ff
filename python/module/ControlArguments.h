#pragma once

#include "app/core/ControlValues.h"

#include <optional>
#include <pybind11/pybind11.h>
#include <string>
#include <utility>
#include <vector>

namespace umbrix::python {

namespace py = pybind11;

// The controls a call is given, in the order they apply: a settings file or a dict's items, then
// the keywords; and the depth convention, over a settings file's.
struct ControlArguments {
    std::optional<std::string> settingsFile;
    std::vector<std::pair<std::string, py::object>> settings;
    std::vector<std::pair<std::string, py::object>> keywords;
    std::optional<std::string> depth = std::nullopt;
};

// Sets them in `values` by the command line's rules: an identifier in any case where only one
// control is spelt so; a number; for a switch also a bool or a word (on, off, ...); for the combo
// an entry name. UsageError naming the key when one is wrong. Needs the GIL.
void applyArguments(ControlValues& values, const ControlArguments& arguments);

} // namespace umbrix::python
