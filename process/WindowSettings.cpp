#include "process/WindowSettings.h"

namespace umbrix::process {

bool windowsCanSubtract(const WindowSettings& settings) {
    if (settings.radius < 1)
        return false;
    return settings.compared == ComparedNormals::None || settings.threshold > -1.0f;
}

} // namespace umbrix::process
