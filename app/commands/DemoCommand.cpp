#include "app/commands/DemoCommand.h"

#include "app/Failure.h"
#include "app/Text.h"
#include "app/commands/DemoScene.h"
#include "app/commands/OutputStamp.h"
#include "app/files/CodecThreads.h"
#include "app/files/ImageFile.h"
#include "app/files/Preview.h"
#include "app/images/HostImage.h"
#include "app/images/ToolSession.h"
#include "app/sequence/Progress.h"

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

void setWindow(ToolSession& tool, int width) {
    const double radius = std::max(1.0, std::round(ReferenceRadius * width / ReferenceWidth));
    const double ratio = ReferenceRadius / radius;
    if (Input* matrix = tool.control("Matrix"))
        tool.set(*matrix, radius);
    if (Input* amount = tool.control("Amount"))
        tool.set(*amount, ReferenceAmount * ratio * ratio);
}

struct Size {
    int width = 0;
    int height = 0;
};

Size parseSize(const std::string& text) {
    Size size;
    char x = 0;
    std::istringstream in{std::string(trimmed(text))};
    if (!(in >> size.width >> x >> size.height) || x != 'x' || !in.eof() || size.width <= 0 ||
        size.height <= 0)
        throw UsageError(fmt::format("--size {}: expected WIDTHxHEIGHT, such as 960x540", text));
    return size;
}

void makeFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw RunError(fmt::format("{}: cannot make the folder: {}", folder, error.message()));
}

} // namespace

void runDemo(const DemoOptions& options) {
    const Size size = parseSize(options.size);
    ToolSession tool(options.library.value_or(defaultLibraryPath()));
    for (const auto& [id, value] : DemoSettings)
        if (Input* control = tool.control(id))
            tool.set(*control, value);
    setWindow(tool, size.width);
    makeFolder(options.folder);
    minihost::setThreads(options.threads);
    runCodecsOnHostPool();
    const std::string exr = (std::filesystem::path(options.folder) / "demo.exr").string();
    const std::string png = (std::filesystem::path(options.folder) / "demo.png").string();
    Progress progress(Progress::modeFor(options.quiet), 1);
    Frame frame = frameOf(demoScene(size.width, size.height), "demo scene", {});
    progress.startFrame(size.height);
    tool.render(frame, 0.0);
    OutputOptions output;
    output.stamp = outputStamp(tool);
    for (Attribute& attribute : writingTime())
        output.stamp.push_back(std::move(attribute));
    writeFrame(exr, outputFormat(exr), frame, output);
    writePreview(png, previewPicture(*frame.image));
    progress.finishFrame(fmt::format("{} and {}", exr, png));
}

} // namespace umbrix
