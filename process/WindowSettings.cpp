#include "process/WindowSettings.h"

bool windowsCanSubtract(const WindowSettings& settings) {
    if (settings.radius < 1)
        return false;
    return settings.compared == ComparedNormals::None || settings.threshold > -1.0f;
}
