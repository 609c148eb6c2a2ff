#pragma once

#include <string>
#include <string_view>

namespace umbrix {

// The path of this program's loadable module `name` (the tool library, and any other module
// loaded at run time): beside the program in a build folder, or in ../lib/umbrix/ relative to it
// in an installed tree, so that a tree can be moved whole. When neither holds it, the path beside
// the program, for the message that it is missing.
std::string modulePath(std::string_view name);

} // namespace umbrix
