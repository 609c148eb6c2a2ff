#include "app/ProgramFiles.h"

#include <filesystem>

namespace umbrix {

namespace fs = std::filesystem;

namespace {

// Set once, before any module is looked for.
std::string ModuleFolder;

} // namespace

void setModuleFolder(std::string folder) {
    ModuleFolder = std::move(folder);
}

std::string modulePath(std::string_view name) {
    if (!ModuleFolder.empty())
        return (fs::path(ModuleFolder) / name).string();
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
