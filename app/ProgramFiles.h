#pragma once

#include <string>
#include <string_view>

namespace umbrix {

// The path of this program's loadable module `name` (the tool library, and any other module
// loaded at run time): beside the program in a build folder, or in ../lib/umbrix/ relative to it
// in an installed tree (one that has that folder), so that a tree can be moved whole. The path is
// where the module belongs, whether or not it is there, for the message that it is missing.
std::string modulePath(std::string_view name);

// Where the modules are when this code is not in the program but in a library another program
// loads (the Python module): `folder` then holds them, whatever the executable is.
void setModuleFolder(std::string folder);

} // namespace umbrix
