#include "app/core/StoredLook.h"

#include "app/Failure.h"
#include "app/files/ImageFile.h"

#include <fmt/format.h>
#include <type_traits>
#include <variant>

namespace umbrix {

namespace {

constexpr std::string_view Prefix = "umbrix:";

GivenValue givenOf(const Attribute& attribute) {
    return std::visit(
        [](const auto& value) -> GivenValue {
            if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::string>)
                return {value, fmt::format("'{}'", value)};
            else
                return {static_cast<double>(value), fmt::format("{}", value)};
        },
        attribute.value);
}

} // namespace

StoredLook applyStoredLook(const Frame& frame, ControlValues& values) {
    StoredLook look;
    for (const Attribute& attribute : storedAttributes(frame, Prefix)) {
        const std::string where = fmt::format("{}: {}", frame.path, attribute.name);
        try {
            values.apply({std::nullopt,
                          {},
                          {{attribute.name.substr(Prefix.size()), givenOf(attribute), where}}});
            ++look.applied;
        } catch (const UsageError& e) {
            look.warnings.push_back(
                {Warning::Kind::StoredValueLeftOut,
                 fmt::format("{}; the look stored in the file leaves it out", e.what())});
        }
    }
    return look;
}

} // namespace umbrix
