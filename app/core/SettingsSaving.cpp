#include "app/core/SettingsSaving.h"

#include "app/Failure.h"
#include "app/files/AtomicFile.h"

#include <fmt/format.h>
#include <memory>
#include <string>
#include <utility>

namespace umbrix {

FrameStages savingSettings(FrameStages stages, const RenderOptions& options,
                           const ControlValues& values) {
    if (!options.saveSettings)
        return stages;
    // Frames are read one after another, on one thread.
    auto saved = std::make_shared<bool>(false);
    stages.read = [read = std::move(stages.read), saved, path = *options.saveSettings,
                   dryRun = options.dryRun, values](std::size_t index) {
        Rendered frame = read(index);
        if (!*saved) {
            if (dryRun)
                checkFolderOf(path);
            else
                values.save(path);
            *saved = true;
        }
        return frame;
    };
    return stages;
}

} // namespace umbrix
