#include "cli/DemoCommand.h"

#include "app/Failure.h"
#include "app/core/FrameSource.h"
#include "app/core/Output.h"
#include "app/core/Preview.h"
#include "app/core/Progress.h"
#include "app/core/Tool.h"
#include "cli/DemoScene.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fmt/format.h>
#include <sstream>
#include <utility>

namespace umbrix {

namespace {

// Chosen for the scene's depth units (objects about one unit away, the wall three): a depth band
// that reaches the ground and the wall behind the objects.
const std::pair<const char*, double> DemoSettings[] = {
    {"UseNormals", 1.0},  {"UseSSAO", 1.0},        {"FilterMethod", 0.0},
    {"SmalDepth", 0.004}, {"DepthThreshold", 2.0}, {"NormalsAngleControll", 30.0},
};

// At 960 pixels across, a window of radius 16 gives soft edges. The window follows the picture's
// width, and the amount one neighbour takes follows the window's area, so that every size looks
// alike.
constexpr double ReferenceWidth = 960.0;
constexpr double ReferenceRadius = 16.0;
constexpr double ReferenceAmount = 0.004;

void setWindow(ControlValues& values, int width) {
    const double radius = std::max(1.0, std::round(ReferenceRadius * width / ReferenceWidth));
    const double ratio = ReferenceRadius / radius;
    values.set("Matrix", radius, "demo");
    values.set("Amount", ReferenceAmount * ratio * ratio, "demo");
}

struct Size {
    int width = 0;
    int height = 0;
};

Size parseSize(const std::string& text) {
    Size size;
    char x = 0;
    std::istringstream in{text};
    const bool read = static_cast<bool>(in >> size.width >> x >> size.height);
    // Blanks after the size are allowed, as before it.
    if (read && !in.eof())
        in >> std::ws;
    if (!read || x != 'x' || !in.eof() || size.width <= 0 || size.height <= 0)
        throw UsageError(fmt::format("--size {}: expected WIDTHxHEIGHT, such as 960x540", text));
    return size;
}

void makeFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw RunError(fmt::format("{}: cannot make the folder: {}", folder, error.message()),
                       folder);
}

} // namespace

void runDemo(const DemoOptions& options) {
    const Size size = parseSize(options.size);
    const Tool tool(options.library.value_or(defaultLibraryPath()));
    ControlValues values = tool.defaults();
    for (const auto& [id, value] : DemoSettings)
        values.set(id, value, "demo");
    setWindow(values, size.width);
    makeFolder(options.folder);
    useThreads(options.threads);
    const std::string exr = (std::filesystem::path(options.folder) / "demo.exr").string();
    const std::string png = (std::filesystem::path(options.folder) / "demo.png").string();
    Progress progress(Progress::modeFor(options.quiet), 1);
    const auto scene = frameOfImage(demoScene(size.width, size.height), "demo scene");
    progress.startFrame(size.height);
    Rendered result = tool.render(scene, values);
    writeResult(exr, formatOf(exr), result, {}, values);
    writePreview(png, previewPicture(*result.image));
    progress.finishFrame(fmt::format("{} and {}", exr, png));
}

} // namespace umbrix
