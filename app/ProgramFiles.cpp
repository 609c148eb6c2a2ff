#include "app/ProgramFiles.h"

#include <filesystem>

namespace umbrix {

namespace fs = std::filesystem;

std::string modulePath(std::string_view name) {
    std::error_code error;
    // The real file, not a link to it: the modules are found relative to where it is installed.
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error)
        return std::string(name);
    const fs::path beside = self.parent_path() / name;
    const fs::path installed = self.parent_path().parent_path() / UMBRIX_MODULE_DIR;
    if (!fs::exists(beside, error) && fs::is_directory(installed, error))
        return (installed / name).string();
    return beside.string();
}

} // namespace umbrix
