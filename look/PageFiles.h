#pragma once

#include <string_view>

namespace umbrix::look {

// The page's own files (look/page/), compiled into the program; nothing when there is no such
// file.
struct PageFile {
    std::string_view name;
    std::string_view bytes;
};
const PageFile* pageFile(std::string_view name);

} // namespace umbrix::look
