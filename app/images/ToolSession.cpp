#include "app/images/ToolSession.h"

#include "app/Failure.h"
#include "app/ProgramFiles.h"
#include "tool/ClassIdentifier.h"

#include <mutex>
#include <new>
#include <stdexcept>
#include <utility>

namespace umbrix {

namespace {

constexpr std::string_view ToolClass = UmbrixClassIdentifier;

minihost::Plugin loadLibrary(const std::string& path) {
    try {
        return minihost::Plugin(path);
    } catch (const std::exception& e) {
        throw RunError(e.what(), path);
    }
}

// Under a lock: the host's class registry is not built for several threads at once.
minihost::OperatorPtr createTool(const std::string& path) {
    static std::mutex creating;
    const std::lock_guard guard(creating);
    const Registry* reg = minihost::findClass(ToolClass);
    if (!reg)
        throw RunError(path + ": the library registers no class " + std::string(ToolClass), path);
    minihost::OperatorPtr tool;
    try {
        tool = minihost::create(*reg);
    } catch (const std::exception& e) {
        throw RunError(path + ": cannot create the tool: " + e.what(), path);
    }
    if (!tool)
        throw RunError(path + ": cannot create the tool", path);
    return tool;
}

Input& requiredInput(const Operator& op, std::string_view id) {
    Input* in = minihost::findInput(op, id);
    if (!in)
        throw RunError("the tool has no input " + std::string(id));
    return *in;
}

} // namespace

ToolSession::ToolSession(const std::string& libraryPath)
    : LibraryPath(libraryPath), Library(loadLibrary(libraryPath)), Tool(createTool(libraryPath)) {}

ToolSession::~ToolSession() {
    minihost::setMessageBoxHandler(nullptr);
}

std::vector<Input*> ToolSession::controls() const {
    std::vector<Input*> result;
    for (Input* in : minihost::inputs(*Tool))
        if (minihost::info(*in).dataType != "Image")
            result.push_back(in);
    return result;
}

Input* ToolSession::control(std::string_view id) const {
    for (Input* in : controls())
        if (minihost::info(*in).id == id)
            return in;
    return nullptr;
}

void ToolSession::set(Input& in, double value) {
    minihost::setValue(*Tool, in, value);
}

minihost::OperatorPtr ToolSession::createOperator() const {
    return createTool(LibraryPath);
}

minihost::ImagePtr renderImage(Operator& tool, const Image& source, double time,
                               std::stop_token stop) {
    Input& imageIn = requiredInput(tool, "Input");
    Output* imageOut = minihost::findOutput(tool, "Output");
    // The host's inputs take a mutable image; the tool only reads its source.
    minihost::connect(imageIn, const_cast<Image*>(&source));
    minihost::RenderResult result;
    try {
        result = minihost::render(tool, time, std::move(stop));
    } catch (...) {
        minihost::connect(imageIn, nullptr);
        throw;
    }
    minihost::connect(imageIn, nullptr);
    if (result.abandoned)
        return nullptr;
    minihost::ImagePtr image = imageOut ? result.takeImage(imageOut) : nullptr;
    if (!result.ok || !image)
        // The tool makes no image only without a source, which it always has here, or without
        // the memory for its output image or its working buffers.
        throw RunError("out of memory while rendering: the tool produced no image", {},
                       std::nullopt, RunError::Cause::Memory);
    return image;
}

std::string ToolSession::aboutText() {
    std::string text;
    minihost::setMessageBoxHandler([&text](const char* shown, const char*, unsigned) {
        text = shown ? shown : "";
        return 1;
    });
    set(requiredInput(*Tool, "About"), 1.0);
    minihost::setMessageBoxHandler(nullptr);
    return text;
}

std::string defaultLibraryPath() {
    return modulePath("umbrix.plugin");
}

} // namespace umbrix
