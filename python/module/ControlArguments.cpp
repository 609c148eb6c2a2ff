#include "python/module/ControlArguments.h"

#include "app/Failure.h"
#include "app/core/ControlSetting.h"

#include <fmt/format.h>

namespace umbrix::python {

namespace {

std::string shown(const py::handle& value) {
    return py::repr(value).cast<std::string>();
}

double valueOf(const py::handle& value, const minihost::ControlInfo& info,
               const std::string& where) {
    if (py::isinstance<py::bool_>(value)) {
        if (info.controlKind != "CheckboxControl")
            throw UsageError(fmt::format("{}: {} is not a number ({} is not a switch)", where,
                                         shown(value), info.id));
        return value.cast<bool>() ? 1.0 : 0.0;
    }
    if (py::isinstance<py::str>(value))
        return parseControlValue(info, value.cast<std::string>(), where);
    if (py::hasattr(value, "__float__") || py::hasattr(value, "__index__")) {
        if (PyObject* number = PyNumber_Float(value.ptr()))
            return py::reinterpret_steal<py::float_>(number).cast<double>();
        // Only a value that is no number is the caller's mistake; anything else (Ctrl-C) goes on.
        if (!PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_ValueError))
            throw py::error_already_set();
        PyErr_Clear();
    }
    throw UsageError(fmt::format("{}: {} is not a number", where, shown(value)));
}

void apply(ControlValues& values, const std::vector<Input*>& controls,
           const std::vector<std::pair<std::string, py::object>>& items, const char* kind) {
    for (const auto& [key, value] : items) {
        const std::string where = fmt::format("{} {}", kind, key);
        const minihost::ControlInfo& info = minihost::info(*findControl(key, controls, where));
        values.set(info.id, valueOf(value, info, where), where);
    }
}

} // namespace

void applyArguments(ControlValues& values, const std::vector<Input*>& controls,
                    const ControlArguments& arguments) {
    if (arguments.settingsFile)
        values.applySettingsFile(*arguments.settingsFile);
    apply(values, controls, arguments.settings, "settings");
    apply(values, controls, arguments.keywords, "keyword");
}

} // namespace umbrix::python
