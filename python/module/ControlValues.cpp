#include "python/module/ControlValues.h"

#include "app/Failure.h"
#include "app/commands/SettingsFile.h"

#include <fmt/format.h>

namespace umbrix::python {

namespace {

double valueOf(const py::handle& value, const minihost::ControlInfo& info,
               const std::string& where) {
    if (py::isinstance<py::bool_>(value)) {
        if (info.controlKind != "CheckboxControl")
            throw UsageError(fmt::format("{}: {} is not a number ({} is not a switch)", where,
                                         py::repr(value).cast<std::string>(), info.id));
        return value.cast<bool>() ? 1.0 : 0.0;
    }
    if (py::isinstance<py::str>(value))
        return parseControlValue(info, value.cast<std::string>(), where);
    if (py::hasattr(value, "__float__") || py::hasattr(value, "__index__")) {
        const py::handle number = PyNumber_Float(value.ptr());
        if (number)
            return py::reinterpret_steal<py::float_>(number).cast<double>();
        PyErr_Clear();
    }
    throw UsageError(
        fmt::format("{}: {} is not a number", where, py::repr(value).cast<std::string>()));
}

void addSettings(std::vector<ControlSetting>& settings,
                 const std::vector<std::pair<std::string, py::object>>& values, const char* kind,
                 const std::vector<Input*>& controls) {
    for (const auto& [key, value] : values) {
        const std::string where = fmt::format("{} {}", kind, key);
        Input* control = findControl(key, controls, where);
        settings.push_back({control, valueOf(value, minihost::info(*control), where)});
    }
}

} // namespace

std::vector<ControlSetting> controlSettings(const ControlArguments& arguments,
                                            const ToolSession& tool) {
    const std::vector<Input*> controls = tool.controls();
    std::vector<ControlSetting> settings;
    if (arguments.settingsFile)
        settings = readSettingsFile(*arguments.settingsFile, controls);
    addSettings(settings, arguments.settings, "settings", controls);
    addSettings(settings, arguments.keywords, "keyword", controls);
    return settings;
}

std::string setText(const ControlSetting& setting) {
    return fmt::format("{}={}", minihost::info(*setting.control).id, setting.value);
}

} // namespace umbrix::python
