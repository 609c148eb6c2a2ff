#pragma once

#include <string_view>

namespace umbrix {

// The text without the spaces and tabs around it. A number typed with a stray space before or after
// it means the number, wherever the program reads one.
inline std::string_view trimmed(std::string_view text) {
    constexpr std::string_view Blank = " \t";
    const auto first = text.find_first_not_of(Blank);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(Blank) - first + 1);
}

} // namespace umbrix
