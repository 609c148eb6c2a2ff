#include "app/Failure.h"

#include <algorithm>

namespace umbrix {

std::string oneLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text.empty() ? "unknown error" : text;
}

} // namespace umbrix
