#include "app/core/ControlValues.h"

#include "app/core/ControlSetting.h"
#include "app/core/SettingsFile.h"

#include <algorithm>
#include <utility>

namespace umbrix {

namespace {

bool takesValue(const minihost::ControlInfo& info) {
    return info.dataType == "Number";
}

} // namespace

ControlValues::ControlValues(const std::vector<Input*>& controls) : Controls(controls) {
    for (Input* in : Controls)
        Entries.push_back({&minihost::info(*in), minihost::value(*in)});
}

double ControlValues::operator[](std::string_view id) const {
    for (const Entry& entry : Entries)
        if (entry.info->id == id)
            return entry.value;
    return 0.0;
}

ControlValues::Entry& ControlValues::entryOf(const Input* control) {
    const auto at = std::find(Controls.begin(), Controls.end(), control);
    return Entries[static_cast<std::size_t>(at - Controls.begin())];
}

void ControlValues::set(std::string_view id, double value, const std::string& where) {
    entryOf(findControl(id, Controls, where)).value = value;
}

void ControlValues::setText(std::string_view id, std::string_view text, const std::string& where) {
    Input* control = findControl(id, Controls, where);
    entryOf(control).value = parseControlValue(minihost::info(*control), text, where);
}

void ControlValues::applySetting(std::string_view text) {
    const ControlSetting setting = parseControlSetting(text, Controls);
    entryOf(setting.control).value = setting.value;
}

void ControlValues::applyContent(const SettingsContent& content) {
    for (const ControlSetting& setting : content.settings)
        entryOf(setting.control).value = setting.value;
    if (content.depth)
        Depth = *content.depth;
}

void ControlValues::applyJson(std::string_view json, const std::string& where) {
    applyContent(readSettings(json, Controls, where));
}

void ControlValues::applySettingsFile(const std::string& path) {
    applyContent(readSettingsFile(path, Controls));
}

void ControlValues::apply(const ControlSources& sources) {
    if (sources.settingsFile)
        applySettingsFile(*sources.settingsFile);
    for (const std::string& text : sources.settings)
        applySetting(text);
    for (const NamedValue& named : sources.named) {
        // A dict of settings holds the depth convention as a settings file does.
        if (named.id == DepthKey) {
            Depth = depthSetting(named.value, named.where);
            continue;
        }
        Input* control = findControl(named.id, Controls, named.where);
        entryOf(control).value = givenValue(minihost::info(*control), named.value, named.where);
    }
    if (sources.depth)
        Depth = parseDepthConvention(*sources.depth);
}

std::string ControlValues::json() const {
    std::vector<std::pair<std::string, double>> values;
    for (const Entry& entry : Entries)
        if (takesValue(*entry.info))
            values.emplace_back(entry.info->id, entry.value);
    return settingsText(values, Depth.kind == DepthConvention::Kind::Z
                                    ? std::string()
                                    : depthConventionText(Depth));
}

void ControlValues::save(const std::string& path) const {
    saveSettingsFile(path, json());
}

void ControlValues::applyTo(Operator& tool) const {
    for (const Entry& entry : Entries)
        if (takesValue(*entry.info))
            if (Input* in = minihost::findInput(tool, entry.info->id))
                minihost::setValue(tool, *in, entry.value);
}

} // namespace umbrix
