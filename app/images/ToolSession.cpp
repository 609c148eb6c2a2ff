#include "app/images/ToolSession.h"

#include "app/Failure.h"
#include "app/ProgramFiles.h"
#include "tool/ClassIdentifier.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <stdexcept>

namespace umbrix {

namespace {

constexpr std::string_view ToolClass = UmbrixClassIdentifier;

minihost::Plugin loadLibrary(const std::string& path) {
    try {
        return minihost::Plugin(path);
    } catch (const std::exception& e) {
        throw RunError(e.what());
    }
}

minihost::OperatorPtr createTool(const std::string& path) {
    const Registry* reg = minihost::findClass(ToolClass);
    if (!reg)
        throw RunError(path + ": the library registers no class " + std::string(ToolClass));
    minihost::OperatorPtr tool;
    try {
        tool = minihost::create(*reg);
    } catch (const std::exception& e) {
        throw RunError(path + ": cannot create the tool: " + e.what());
    }
    if (!tool)
        throw RunError(path + ": cannot create the tool");
    return tool;
}

Input& requiredInput(const Operator& op, std::string_view id) {
    Input* in = minihost::findInput(op, id);
    if (!in)
        throw RunError("the tool has no input " + std::string(id));
    return *in;
}

// What the tool keeps of each pixel beside its output image while it renders occlusion.
constexpr std::size_t ToolBytesPerPixel = 20;

// The tool says only that it made no image. Short of memory, an output image like the source with
// the tool's working memory beside it cannot be had either: that is then the cause to name. The
// memory is only reserved, never touched.
bool roomToRender(const Image& source) {
    const std::size_t pixels = static_cast<std::size_t>(std::max(source.Width, 0)) *
                               static_cast<std::size_t>(std::max(source.Height, 0));
    const std::size_t bytes =
        pixels * (minihost::channels(source).size() * sizeof(float) + ToolBytesPerPixel);
    // Volatile, so that the compiler keeps the allocation it would otherwise assume to succeed.
    void* volatile memory = std::malloc(bytes);
    const bool room = memory != nullptr;
    std::free(memory);
    return room;
}

} // namespace

ToolSession::ToolSession(const std::string& libraryPath)
    : Library(loadLibrary(libraryPath)), Tool(createTool(libraryPath)) {}

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

minihost::ImagePtr ToolSession::render(Image& source, double time) {
    Input& imageIn = requiredInput(*Tool, "Input");
    Output* imageOut = minihost::findOutput(*Tool, "Output");
    minihost::connect(imageIn, &source);
    minihost::RenderResult result;
    try {
        result = minihost::render(*Tool, time);
    } catch (...) {
        minihost::connect(imageIn, nullptr);
        throw;
    }
    minihost::connect(imageIn, nullptr);
    minihost::ImagePtr image = imageOut ? result.takeImage(imageOut) : nullptr;
    if (!result.ok || !image)
        throw RunError(roomToRender(source) ? "the tool produced no image"
                                            : "out of memory while rendering");
    return image;
}

void ToolSession::render(Frame& frame, double time) {
    try {
        frame.image = render(*frame.image, time);
    } catch (const std::bad_alloc&) {
        throw RunError(frame.path + ": out of memory while rendering");
    } catch (const RunError& e) {
        throw RunError(frame.path + ": " + e.what());
    }
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
