#include "app/core/ControlSetting.h"

#include "app/Failure.h"
#include "app/Suggestion.h"
#include "app/Text.h"
#include "contract/Controls.h"
#include "host/Operator.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <fmt/format.h>
#include <strings.h>

namespace umbrix {

namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::optional<double> parseNumber(std::string_view typed) {
    const std::string text(trimmed(typed));
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size())
        return std::nullopt;
    return value;
}

bool isSwitch(const minihost::ControlInfo& info) {
    return info.controlKind == "CheckboxControl";
}

bool wholeNumbers(const minihost::ControlInfo& info) {
    return info.tags.find(TAG_WholeNumber) != nullptr || !info.comboEntries.empty();
}

std::optional<double> switchWord(std::string_view text) {
    static constexpr std::array<std::pair<std::string_view, double>, 6> words = {
        {{"on", 1.0}, {"off", 0.0}, {"true", 1.0}, {"false", 0.0}, {"yes", 1.0}, {"no", 0.0}}};
    for (const auto& [word, value] : words)
        if (sameIgnoringCase(text, word))
            return value;
    return std::nullopt;
}

std::optional<double> comboIndex(const minihost::ControlInfo& info, std::string_view text) {
    for (std::size_t k = 0; k < info.comboEntries.size(); ++k)
        if (sameIgnoringCase(info.comboEntries[k], text))
            return static_cast<double>(k);
    return std::nullopt;
}

std::string unknownControl(std::string_view id, const std::vector<Input*>& controls,
                           const std::string& where) {
    std::vector<Candidate> candidates;
    for (Input* in : controls) {
        const auto& info = minihost::info(*in);
        candidates.push_back({info.id, info.id});
        candidates.push_back({info.name, info.id});
    }
    std::string text = fmt::format("{}: no control '{}'", where, excerpt(id));
    if (auto suggestion = closestCandidate(id, candidates))
        text += fmt::format("; did you mean '{}'?", *suggestion);
    else
        text += " (umbrix controls lists them)";
    return text;
}

std::string notAValue(const minihost::ControlInfo& info, std::string_view text,
                      const std::string& where) {
    std::string message = fmt::format("{}: '{}' is not a number", where, excerpt(text));
    if (isSwitch(info))
        message += " or on/off";
    if (!info.comboEntries.empty())
        message += fmt::format(" or one of '{}'", fmt::join(info.comboEntries, "', '"));
    return message;
}

Input* findAnyControl(std::string_view id, const std::vector<Input*>& controls,
                      const std::string& where) {
    Input* alike = nullptr;
    int alikeCount = 0;
    for (Input* in : controls) {
        const std::string& name = minihost::info(*in).id;
        if (name == id)
            return in;
        if (sameIgnoringCase(name, id)) {
            alike = in;
            ++alikeCount;
        }
    }
    if (alikeCount != 1)
        throw UsageError(unknownControl(id, controls, where));
    return alike;
}

} // namespace

Input* findControl(std::string_view id, const std::vector<Input*>& controls,
                   const std::string& where) {
    Input* found = findAnyControl(id, controls, where);
    const auto& info = minihost::info(*found);
    if (info.dataType != "Number")
        throw UsageError(fmt::format("{}: '{}' is a {}, not a value", where, info.id,
                                     info.controlKind.empty() ? "input" : "button"));
    return found;
}

double parseControlValue(const minihost::ControlInfo& info, std::string_view text,
                         const std::string& where) {
    std::optional<double> value = parseNumber(text);
    if (!value && isSwitch(info))
        value = switchWord(trimmed(text));
    if (!value)
        value = comboIndex(info, trimmed(text));
    if (!value)
        throw UsageError(notAValue(info, text, where));
    return *value;
}

double givenValue(const minihost::ControlInfo& info, const GivenValue& given,
                  const std::string& where) {
    if (const double* number = std::get_if<double>(&given.value))
        return *number;
    if (const std::string* text = std::get_if<std::string>(&given.value))
        return parseControlValue(info, *text, where);
    if (const bool* state = std::get_if<bool>(&given.value)) {
        if (isSwitch(info))
            return *state ? 1.0 : 0.0;
        throw UsageError(fmt::format("{}: {} is not a number ({} is not a switch)", where,
                                     given.shown, info.id));
    }
    throw UsageError(fmt::format("{}: {} is not a number", where, given.shown));
}

ControlSetting parseControlSetting(std::string_view text, const std::vector<Input*>& controls) {
    const auto equals = text.find('=');
    if (equals == std::string_view::npos)
        throw UsageError(fmt::format("--set {}: expected ID=VALUE", excerpt(text)));
    const std::string_view id = text.substr(0, equals);
    const std::string where = fmt::format("--set {}", excerpt(id));
    Input* control = findControl(id, controls, where);
    return {control, parseControlValue(minihost::info(*control), text.substr(equals + 1), where)};
}

std::string describedValue(const minihost::ControlInfo& info, double value) {
    if (isSwitch(info))
        return fmt::format("{} ({})", value, switchedOn(static_cast<float>(value)) ? "on" : "off");
    const auto entries = static_cast<double>(info.comboEntries.size());
    if (value >= 0.0 && value < entries && value == std::trunc(value))
        return fmt::format("{} ({})", value, info.comboEntries[static_cast<std::size_t>(value)]);
    return fmt::format("{}", value);
}

std::string declaredRange(const minihost::ControlInfo& info) {
    if (isSwitch(info))
        return "0 (off) or 1 (on)";
    std::string text;
    if (info.low && info.high)
        text = fmt::format("{} to {}", *info.low, *info.high);
    for (std::size_t k = 0; k < info.comboEntries.size(); ++k)
        text += fmt::format("{}{} = {}", k == 0 ? ": " : ", ", k, info.comboEntries[k]);
    if (info.tags.find(TAG_WholeNumber) != nullptr)
        text += ", whole numbers";
    return text;
}

bool withinDeclaredRange(const minihost::ControlInfo& info, double value) {
    if (isSwitch(info))
        return value == 0.0 || value == 1.0;
    if (std::isnan(value) || (wholeNumbers(info) && value != std::trunc(value)))
        return false;
    if (info.low && value < *info.low)
        return false;
    return !(info.high && value > *info.high);
}

} // namespace umbrix
