#include "app/core/SettingsFile.h"

#include "app/Failure.h"
#include "app/Text.h"
#include "app/files/AtomicFile.h"
#include "app/files/FileWriting.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <variant>

namespace umbrix {

namespace {

using Json = nlohmann::ordered_json;

// A look file holds a dozen values; one much larger is no look file, and is not read whole.
constexpr off_t LargestFile = off_t{1} << 20;
// Its values are numbers, strings and switches. Deeper nesting is refused while parsing, short of
// where walking the parsed value would exhaust the stack.
constexpr int DeepestNesting = 64;

std::string fileText(const std::string& path) {
    // Without O_NONBLOCK a pipe with no writer would block the open itself.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw RunError(fmt::format("{}: cannot read: {}", path, std::strerror(errno)), path);
    struct stat info {};
    const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    std::string text;
    if (regular && info.st_size <= LargestFile)
        text.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    int error = 0;
    while (regular && done < text.size()) {
        const ssize_t got =
            pread(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    close(fd);
    if (!regular)
        throw RunError(fmt::format("{}: cannot read: {}", path,
                                   S_ISDIR(info.st_mode) ? "it is a folder" : "not a regular file"),
                       path);
    if (info.st_size > LargestFile)
        throw UsageError(fmt::format("{}: {} bytes, more than a settings file holds (at most {})",
                                     path, info.st_size, LargestFile));
    if (error != 0)
        throw RunError(fmt::format("{}: cannot read: {}", path, std::strerror(error)), path);
    // A file cut short while it was read is read as far as it goes.
    text.resize(done);
    return text;
}

// Bounded in depth, and no key twice, for a file or for a caller's text alike.
Json parsed(const std::string& text, const std::string& path) {
    std::set<std::string> keys;
    const auto check = [&](int depth, Json::parse_event_t event, Json& value) {
        if (depth > DeepestNesting)
            throw UsageError(fmt::format("{}: nested more than {} deep; a settings file is one "
                                         "JSON object of control values",
                                         path, DeepestNesting));
        // Of two values for one control the last would win unseen.
        if (event == Json::parse_event_t::key && depth == 1 &&
            !keys.insert(value.get<std::string>()).second)
            throw UsageError(
                fmt::format("{}: {} is given twice", path, excerpt(value.get<std::string>())));
        return true;
    };
    try {
        return Json::parse(text, check);
    } catch (const Json::exception& e) {
        // A parse error, or a number beyond a double's range.
        throw UsageError(fmt::format("{}: not a JSON object of control values: {}", path,
                                     excerpt(oneLine(e.what()))));
    }
}

GivenValue givenOf(const Json& value) {
    GivenValue given{std::monostate{}, excerpt(value.dump())};
    if (value.is_number())
        given.value = value.get<double>();
    else if (value.is_string())
        given.value = value.get<std::string>();
    else if (value.is_boolean())
        given.value = value.get<bool>();
    return given;
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
        throw RunError(fmt::format("{}: cannot write: {}", shown, std::strerror(errno)), shown);
    struct stat info {};
    const bool regular = fstat(file.fd, &info) == 0 && S_ISREG(info.st_mode);
    file.writeAt(text.data(), text.size(), 0);
    file.syncAndClose(regular);
    if (file.error != 0)
        throw RunError(fmt::format("{}: cannot write: {}", shown, std::strerror(file.error)),
                       shown);
}

SettingsContent settingsOf(const Json& object, const std::vector<Input*>& controls,
                           const std::string& source) {
    if (!object.is_object())
        throw UsageError(fmt::format("{}: not a JSON object of control values", source));
    SettingsContent content;
    for (const auto& [key, value] : object.items()) {
        const std::string where = fmt::format("{}: {}", source, excerpt(key));
        if (key == DepthKey) {
            content.depth = depthSetting(givenOf(value), where);
            continue;
        }
        Input* control = findControl(key, controls, where);
        content.settings.push_back(
            {control, givenValue(minihost::info(*control), givenOf(value), where)});
    }
    return content;
}

} // namespace

DepthConvention depthSetting(const GivenValue& given, const std::string& where) {
    const auto* text = std::get_if<std::string>(&given.value);
    if (!text)
        throw UsageError(fmt::format("{}: {} is not a depth convention: a string as --depth takes "
                                     "it, such as \"inverse\"",
                                     where, given.shown));
    try {
        return parseDepthConvention(*text);
    } catch (const UsageError& e) {
        throw UsageError(fmt::format("{}: {}", where, e.what()));
    }
}

SettingsContent readSettingsFile(const std::string& path, const std::vector<Input*>& controls) {
    return settingsOf(parsed(fileText(path), path), controls, path);
}

SettingsContent readSettings(std::string_view json, const std::vector<Input*>& controls,
                             const std::string& where) {
    return settingsOf(parsed(std::string(json), where), controls, where);
}

std::string settingsText(const std::vector<std::pair<std::string, double>>& values,
                         const std::string& depth) {
    Json file = Json::object();
    for (const auto& [id, value] : values)
        file[id] = jsonValue(value);
    if (!depth.empty())
        file[DepthKey] = depth;
    return file.dump(2) + "\n";
}

void saveSettingsFile(const std::string& path, const std::string& text) {
    writeAtomically(path, [&](const std::string& target) { writeText(target, path, text); });
}

double controlValueFromJson(const minihost::ControlInfo& info, std::string_view json,
                            const std::string& where) {
    const Json value = Json::parse(json, nullptr, false);
    if (value.is_discarded())
        throw UsageError(fmt::format("{}: {} is not a number", where, excerpt(json)));
    return givenValue(info, givenOf(value), where);
}

} // namespace umbrix
