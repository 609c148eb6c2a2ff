#include "python/module/ControlArguments.h"

#include "app/core/ControlSetting.h"

#include <fmt/format.h>

namespace umbrix::python {

namespace {

// A Python value as the core's rules take it: a bool, a string, a number, or none of these.
GivenValue givenOf(const py::handle& value) {
    GivenValue given{std::monostate{}, py::repr(value).cast<std::string>()};
    if (py::isinstance<py::bool_>(value)) {
        given.value = value.cast<bool>();
    } else if (py::isinstance<py::str>(value)) {
        given.value = value.cast<std::string>();
    } else if (py::hasattr(value, "__float__") || py::hasattr(value, "__index__")) {
        if (PyObject* number = PyNumber_Float(value.ptr()))
            given.value = py::reinterpret_steal<py::float_>(number).cast<double>();
        // Only a value that is no number is the caller's mistake; anything else (Ctrl-C) goes on.
        else if (!PyErr_ExceptionMatches(PyExc_TypeError) &&
                 !PyErr_ExceptionMatches(PyExc_ValueError))
            throw py::error_already_set();
        else
            PyErr_Clear();
    }
    return given;
}

std::vector<NamedValue> named(const std::vector<std::pair<std::string, py::object>>& items,
                              const char* kind) {
    std::vector<NamedValue> values;
    for (const auto& [key, value] : items)
        values.push_back({key, givenOf(value), fmt::format("{} {}", kind, key)});
    return values;
}

} // namespace

void applyArguments(ControlValues& values, const ControlArguments& arguments) {
    ControlSources sources{
        arguments.settingsFile, {}, named(arguments.settings, "settings"), arguments.depth};
    for (NamedValue& keyword : named(arguments.keywords, "keyword"))
        sources.named.push_back(std::move(keyword));
    values.apply(sources);
}

} // namespace umbrix::python
