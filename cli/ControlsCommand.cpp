#include "cli/ControlsCommand.h"

#include "app/core/ControlList.h"
#include "app/core/Tool.h"

#include <cstdio>

namespace umbrix {

void runControls(bool json, const std::optional<std::string>& library) {
    const Tool tool(library.value_or(defaultLibraryPath()));
    if (json) {
        std::puts(controlsJson(tool.controls()).c_str());
        return;
    }
    for (const std::string& row : controlsTable(tool.controls()))
        std::puts(row.c_str());
}

void runAbout(const std::optional<std::string>& library) {
    Tool tool(library.value_or(defaultLibraryPath()));
    std::puts(tool.aboutText().c_str());
}

} // namespace umbrix
