#include "app/core/SettingsFile.h"

#include "app/Failure.h"
#include "app/files/AtomicFile.h"
#include "app/files/FileWriting.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <fmt/format.h>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

namespace umbrix {

namespace {

using Json = nlohmann::ordered_json;

template <class Text> Json parsed(Text&& text, const std::string& where) {
    try {
        return Json::parse(std::forward<Text>(text));
    } catch (const Json::parse_error& e) {
        throw UsageError(
            fmt::format("{}: not a JSON object of control values: {}", where, oneLine(e.what())));
    }
}

double valueOf(const Json& value, const minihost::ControlInfo& info, const std::string& where) {
    if (value.is_number())
        return value.get<double>();
    if (value.is_string())
        return parseControlValue(info, value.get<std::string>(), where);
    if (value.is_boolean() && info.controlKind == "CheckboxControl")
        return value.get<bool>() ? 1.0 : 0.0;
    throw UsageError(fmt::format("{}: {} is not a number", where, value.dump()));
}

// Whole numbers as such, the rest with every digit that tells doubles apart; what JSON has no
// number for as the text --set takes.
Json jsonValue(double value) {
    if (std::isnan(value))
        return std::signbit(value) ? "-nan" : "nan";
    if (std::isinf(value))
        return value > 0.0 ? "inf" : "-inf";
    constexpr double Exact = 9007199254740992.0; // 2^53
    if (value == std::trunc(value) && std::fabs(value) < Exact && !std::signbit(value))
        return static_cast<std::int64_t>(value);
    return value;
}

void writeText(const std::string& target, const std::string& shown, const std::string& text) {
    WrittenFile file;
    file.fd = open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (file.fd < 0)
        throw RunError(fmt::format("{}: cannot write: {}", shown, std::strerror(errno)));
    struct stat info {};
    const bool regular = fstat(file.fd, &info) == 0 && S_ISREG(info.st_mode);
    file.writeAt(text.data(), text.size(), 0);
    file.syncAndClose(regular);
    if (file.error != 0)
        throw RunError(fmt::format("{}: cannot write: {}", shown, std::strerror(file.error)));
}

std::vector<ControlSetting> settingsOf(const Json& object, const std::vector<Input*>& controls,
                                       const std::string& source) {
    if (!object.is_object())
        throw UsageError(fmt::format("{}: not a JSON object of control values", source));
    std::vector<ControlSetting> settings;
    for (const auto& [key, value] : object.items()) {
        const std::string where = fmt::format("{}: {}", source, key);
        Input* control = findControl(key, controls, where);
        settings.push_back({control, valueOf(value, minihost::info(*control), where)});
    }
    return settings;
}

} // namespace

std::vector<ControlSetting> readSettingsFile(const std::string& path,
                                             const std::vector<Input*>& controls) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw RunError(fmt::format("{}: cannot read: {}", path, std::strerror(errno)));
    return settingsOf(parsed(in, path), controls, path);
}

std::vector<ControlSetting> readSettings(std::string_view json, const std::vector<Input*>& controls,
                                         const std::string& where) {
    return settingsOf(parsed(std::string(json), where), controls, where);
}

std::string settingsText(const std::vector<std::pair<std::string, double>>& values) {
    Json file = Json::object();
    for (const auto& [id, value] : values)
        file[id] = jsonValue(value);
    return file.dump(2) + "\n";
}

void saveSettingsFile(const std::string& path, const std::string& text) {
    writeAtomically(path, [&](const std::string& target) { writeText(target, path, text); });
}

} // namespace umbrix
