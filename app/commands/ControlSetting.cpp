#include "app/commands/ControlSetting.h"

#include "app/Failure.h"
#include "app/commands/Suggestion.h"
#include "minihost/Host.h"

#include <cerrno>
#include <cstdlib>
#include <fmt/format.h>
#include <optional>
#include <strings.h>

namespace umbrix {

namespace {

std::optional<double> parseNumber(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0')
        return std::nullopt;
    return value;
}

std::optional<double> comboIndex(const minihost::ControlInfo& info, const std::string& text) {
    for (std::size_t k = 0; k < info.comboEntries.size(); ++k)
        if (strcasecmp(info.comboEntries[k].c_str(), text.c_str()) == 0)
            return static_cast<double>(k);
    return std::nullopt;
}

std::string unknownControl(const std::string& id, const std::vector<Input*>& controls) {
    std::vector<Candidate> candidates;
    for (Input* in : controls) {
        const auto& info = minihost::info(*in);
        candidates.push_back({info.id, info.id});
        candidates.push_back({info.name, info.id});
    }
    std::string text = fmt::format("--set {}: no control '{}'", id, id);
    if (auto suggestion = closestCandidate(id, candidates))
        text += fmt::format("; did you mean '{}'?", *suggestion);
    else
        text += " (umbrix controls lists them)";
    return text;
}

std::string notAValue(const minihost::ControlInfo& info, const std::string& text) {
    std::string message = fmt::format("--set {}: '{}' is not a number", info.id, text);
    if (!info.comboEntries.empty())
        message += fmt::format(" or one of '{}'", fmt::join(info.comboEntries, "', '"));
    return message;
}

Input* findControl(const std::string& id, const std::vector<Input*>& controls) {
    for (Input* in : controls)
        if (minihost::info(*in).id == id)
            return in;
    throw UsageError(unknownControl(id, controls));
}

} // namespace

ControlSetting parseControlSetting(std::string_view text, const std::vector<Input*>& controls) {
    const auto equals = text.find('=');
    if (equals == std::string_view::npos)
        throw UsageError(fmt::format("--set {}: expected ID=VALUE", text));
    const std::string id(text.substr(0, equals));
    const std::string valueText(text.substr(equals + 1));
    Input* control = findControl(id, controls);
    const auto& info = minihost::info(*control);
    if (info.dataType != "Number")
        throw UsageError(fmt::format("--set {}: '{}' is a {}, not a value", id, id,
                                     info.controlKind.empty() ? "input" : "button"));
    std::optional<double> value = parseNumber(valueText);
    if (!value)
        value = comboIndex(info, valueText);
    if (!value)
        throw UsageError(notAValue(info, valueText));
    return {control, *value};
}

} // namespace umbrix
