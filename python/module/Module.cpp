// The `umbrix._umbrix` extension: the program's core for the Python package beside it, which gives
// the functions their signatures and documentation.

#include "app/Failure.h"
#include "app/ProgramFiles.h"
#include "app/commands/ControlsCommand.h"
#include "app/commands/RunReport.h"
#include "app/commands/SettingsFile.h"
#include "app/images/Frame.h"
#include "app/images/ToolSession.h"
#include "python/module/ArrayPlanes.h"
#include "python/module/CallMessages.h"
#include "python/module/ControlValues.h"
#include "python/module/FileRender.h"

#include <dlfcn.h>
#include <filesystem>
#include <fmt/format.h>
#include <memory>
#include <mutex>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

namespace umbrix::python {

namespace {

namespace fs = std::filesystem;

using Items = std::vector<std::pair<std::string, py::object>>;

// The tool library and the image formats module are two folders above this one, the package's:
// lib/umbrix/ installed, bin/ in a build folder.
std::string programModuleFolder() {
    Dl_info self{};
    if (dladdr(reinterpret_cast<void*>(&programModuleFolder), &self) == 0 || !self.dli_fname)
        return {};
    return fs::absolute(self.dli_fname).parent_path().parent_path().parent_path().string();
}

std::mutex ToolLock;

// A session of the tool for one call, so that calls on several threads each have their own. The
// library stays loaded between calls, as a program keeps it.
std::unique_ptr<ToolSession> openTool() {
    static minihost::Plugin* resident = nullptr;
    std::lock_guard guard(ToolLock);
    const std::string path = defaultLibraryPath();
    if (!resident) {
        try {
            resident = new minihost::Plugin(path);
        } catch (const std::exception& e) {
            throw FileError(e.what(), path);
        }
    }
    return std::make_unique<ToolSession>(path);
}

constexpr int MaxThreads = 1024;

void useThreads(int threads) {
    static std::mutex lock;
    static int current = -1;
    if (threads < 0 || threads > MaxThreads)
        throw UsageError(fmt::format("threads={}: not a number of threads from 0 (one per core) "
                                     "to {}",
                                     threads, MaxThreads));
    std::lock_guard guard(lock);
    if (threads != current)
        minihost::setThreads(threads);
    current = threads;
}

void applyControls(ToolSession& tool, const ControlArguments& arguments) {
    for (const ControlSetting& setting : controlSettings(arguments, tool))
        tool.set(*setting.control, setting.value);
}

// What the program warns of for an image with these arrays' channels.
void warnAboutArrays(const RenderArrays& arrays, const ToolSession& tool) {
    std::vector<std::string> names;
    if (arrays.rgba)
        names = {"R", "G", "B", "A"};
    names.push_back("Z");
    if (arrays.normals)
        for (const char* name : {"N.X", "N.Y", "N.Z"})
            names.push_back(name);
    Frame frame;
    frame.path = "render()";
    frame.map = mapChannels(names, {}, frame.path);
    warnAboutChannels(frame, arrays.normals ? "render()" : "render(normals=None)", tool);
}

py::tuple render(const py::array& depth, const std::optional<py::array>& normals,
                 const std::optional<py::array>& rgba, const ControlArguments& controls,
                 int threads) {
    CallMessages messages(CallMessages::Scope::ThisThread);
    const RenderArrays arrays = renderArrays(depth, normals, rgba);
    useThreads(threads);
    const std::unique_ptr<ToolSession> tool = openTool();
    applyControls(*tool, controls);
    warnAboutControls(*tool);
    warnAboutArrays(arrays, *tool);
    minihost::ImagePtr result;
    {
        py::gil_scoped_release unlocked;
        try {
            const minihost::ImagePtr source = sourceImage(arrays);
            result = tool->render(*source, 0.0);
        } catch (const std::bad_alloc&) {
            throw RunError("out of memory while rendering");
        }
    }
    return py::make_tuple(resultArray(std::move(result)), messages.warnings());
}

std::mutex FileRunTurn;

py::tuple renderFile(RenderOptions options, const ControlArguments& controls) {
    useThreads(options.threads);
    {
        const std::unique_ptr<ToolSession> tool = openTool();
        for (const ControlSetting& setting : controlSettings(controls, *tool))
            options.settings.push_back(setText(setting));
    }
    options.quiet = true;
    FileReport report;
    py::gil_scoped_release unlocked;
    const std::lock_guard turn(FileRunTurn);
    CallMessages messages(CallMessages::Scope::FileRun);
    report = renderFiles(options, [] {
        py::gil_scoped_acquire locked;
        if (PyErr_CheckSignals() != 0)
            throw py::error_already_set();
    });
    const std::vector<std::string> warnings = messages.warnings();
    py::gil_scoped_acquire locked;
    return py::make_tuple(report.written, report.skipped, warnings);
}

template <class Use> auto namingFile(const std::string& path, const Use& use) -> decltype(use()) {
    try {
        return use();
    } catch (const FileError&) {
        throw;
    } catch (const RunError& e) {
        throw FileError(e.what(), path);
    }
}

py::dict loadSettings(const std::string& path) {
    const std::unique_ptr<ToolSession> tool = openTool();
    py::dict values;
    for (const ControlSetting& setting :
         namingFile(path, [&] { return readSettingsFile(path, tool->controls()); }))
        values[py::str(minihost::info(*setting.control).id)] = setting.value;
    return values;
}

void saveSettings(const std::string& path, const Items& values) {
    const std::unique_ptr<ToolSession> tool = openTool();
    applyControls(*tool, {std::nullopt, values, {}});
    namingFile(path, [&] { saveSettingsFile(path, tool->controls()); });
}

std::string controls() {
    return controlsJson(*openTool());
}

void raise(const char* kind, const std::string& message, const std::string& path) {
    const py::object type = py::module_::import("umbrix._errors").attr(kind);
    const py::object error = path.empty() ? type(message) : type(message, path);
    PyErr_SetObject(type.ptr(), error.ptr());
}

void translate(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const UsageError& e) {
        raise("UsageError", e.what(), {});
    } catch (const FileError& e) {
        raise("RenderError", e.what(), e.path);
    } catch (const RunError& e) {
        raise("RenderError", e.what(), {});
    }
}

} // namespace

} // namespace umbrix::python

PYBIND11_MODULE(_umbrix, module) {
    namespace py = pybind11;
    using namespace umbrix::python;
    umbrix::setModuleFolder(programModuleFolder());
    divertConsole();
    py::register_exception_translator(translate);
    module.attr("version") = UMBRIX_VERSION;
    module.def("controls", &controls);
    module.def("render", [](const py::array& depth, const std::optional<py::array>& normals,
                            const std::optional<py::array>& rgba,
                            std::optional<std::string> settingsFile, Items settings, Items keywords,
                            int threads) {
        return render(depth, normals, rgba,
                      {std::move(settingsFile), std::move(settings), std::move(keywords)}, threads);
    });
    module.def("render_file",
               [](std::string input, std::string output, std::optional<std::string> frames,
                  std::optional<std::string> settingsFile, Items settings, Items keywords,
                  std::optional<std::string> preview, int threads, std::optional<std::string> layer,
                  std::optional<std::string> ch, std::vector<std::string> types,
                  std::optional<std::string> compression, bool clamp, std::vector<std::string> maps,
                  std::optional<std::string> part, bool skipBadFrames, bool dryRun) {
                   umbrix::RenderOptions options;
                   options.input = std::move(input);
                   options.output = std::move(output);
                   options.frames = std::move(frames);
                   options.preview = std::move(preview);
                   options.threads = threads;
                   options.layer = std::move(layer);
                   options.channels = std::move(ch);
                   options.types = std::move(types);
                   options.compression = std::move(compression);
                   options.clamp = clamp;
                   options.maps = std::move(maps);
                   options.part = std::move(part);
                   options.skipBadFrames = skipBadFrames;
                   options.dryRun = dryRun;
                   return renderFile(
                       std::move(options),
                       {std::move(settingsFile), std::move(settings), std::move(keywords)});
               });
    module.def("load_settings", &loadSettings);
    module.def("save_settings", &saveSettings);
}
