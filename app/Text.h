#pragma once

#include <cstddef>
#include <fmt/format.h>
#include <string>
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

// The longest text a message quotes whole: a value a user or a pipeline gave can be megabytes.
constexpr std::size_t ExcerptLength = 200;

// Text a user or a file gave, as a message quotes it: whole when short, else its start, cut where
// no UTF-8 character is split, and how long it is; control characters, which could drive the
// terminal the message lands on, as '?'.
inline std::string excerpt(std::string_view text) {
    std::size_t cut = text.size();
    if (cut > ExcerptLength) {
        cut = ExcerptLength;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
    }
    std::string shown(text.substr(0, cut));
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return cut < text.size() ? fmt::format("{}... ({} bytes)", shown, text.size()) : shown;
}

} // namespace umbrix
