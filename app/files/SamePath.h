#pragma once

#include <string>

namespace umbrix {

// Whether two paths name one file: the same file when both exist, else the same place once links
// and dot folders are resolved, else the same text.
bool samePath(const std::string& a, const std::string& b);

} // namespace umbrix
