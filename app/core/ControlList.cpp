#include "app/core/ControlList.h"

#include "app/core/ControlSetting.h"
#include "host/Operator.h"

#include <fmt/format.h>
#include <map>
#include <nlohmann/json.hpp>

namespace umbrix {

namespace {

std::string kindOf(const minihost::ControlInfo& info) {
    static const std::map<std::string, std::string> kinds = {{"CheckboxControl", "checkbox"},
                                                             {"ComboControl", "combo"},
                                                             {"SliderControl", "slider"},
                                                             {"ButtonControl", "button"}};
    const auto found = kinds.find(info.controlKind);
    return found == kinds.end() ? info.controlKind : found->second;
}

bool wholeNumber(const minihost::ControlInfo& info) {
    return info.tags.find(TAG_WholeNumber) != nullptr;
}

nlohmann::ordered_json optionalNumber(const std::optional<double>& value) {
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json controlJson(const minihost::ControlInfo& info) {
    return {{"id", info.id},
            {"name", info.name},
            {"kind", kindOf(info)},
            {"page", info.page},
            {"default", optionalNumber(info.defaultValue)},
            {"low", optionalNumber(info.low)},
            {"high", optionalNumber(info.high)},
            {"entries", info.comboEntries},
            {"wholeNumber", wholeNumber(info)}};
}

std::string defaultText(const minihost::ControlInfo& info) {
    return info.defaultValue ? describedValue(info, *info.defaultValue) : "";
}

std::string tableRow(const std::string& id, const std::string& name, const std::string& kind,
                     const std::string& defaultValue, const std::string& range) {
    std::string row =
        fmt::format("{:<22}{:<30}{:<10}{:<24}{}", id, name, kind, defaultValue, range);
    row.erase(row.find_last_not_of(' ') + 1);
    return row;
}

} // namespace

std::string controlsJson(const std::vector<Input*>& controls) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const Input* in : controls)
        list.push_back(controlJson(minihost::info(*in)));
    return list.dump(2);
}

std::vector<std::string> controlsTable(const std::vector<Input*>& controls) {
    std::vector<std::string> rows{tableRow("identifier", "name", "kind", "default", "range")};
    for (const Input* in : controls) {
        const auto& info = minihost::info(*in);
        rows.push_back(tableRow(info.id, info.name, kindOf(info), defaultText(info),
                                info.dataType == "Number" ? declaredRange(info) : ""));
    }
    return rows;
}

} // namespace umbrix
