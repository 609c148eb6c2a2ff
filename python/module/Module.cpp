// The `umbrix._umbrix` extension: the program's core for the Python package beside it, which gives
// the functions their signatures and documentation.

#include "app/Failure.h"
#include "app/core/ControlList.h"
#include "app/core/ControlValues.h"
#include "app/core/FrameSource.h"
#include "app/core/Output.h"
#include "app/core/RenderWarnings.h"
#include "app/core/SettingsFile.h"
#include "app/core/Tool.h"
#include "contract/Controls.h"
#include "python/module/ArrayPlanes.h"
#include "python/module/CallMessages.h"
#include "python/module/ControlArguments.h"
#include "python/module/FileRender.h"

#include <chrono>
#include <condition_variable>
#include <dlfcn.h>
#include <filesystem>
#include <fmt/format.h>
#include <malloc.h>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <stop_token>
#include <thread>

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

// Loaded on first use and kept for the process's life, as a program keeps it: calls on several
// threads share it, each render with an operator of its own.
const Tool& loadedTool() {
    static std::mutex lock;
    static const Tool* tool = nullptr;
    const std::lock_guard guard(lock);
    if (!tool) {
        tool = new Tool(defaultLibraryPath());
    }
    return *tool;
}

ControlValues controlValues(const Tool& tool, const ControlArguments& arguments) {
    ControlValues values = tool.defaults();
    applyArguments(values, arguments);
    return values;
}

void checkThreads(int threads) {
    if (threads < 0 || threads > MaxThreads)
        throw UsageError(fmt::format("threads={}: not a number of threads from 0 (one per core) "
                                     "to {}",
                                     threads, MaxThreads));
}

// Calls running together share one pool of the sum of their threads, so that calls on several
// Python threads each run as a call with its own threads would. The pool is sized as a call
// starts, and left as it is when one ends. Taken without the GIL.
std::mutex CallsLock;
std::condition_variable NoneRunning;
int Running = 0;
int ThreadsInUse = 0;
int PoolSize = -1;

class PoolShare {
  public:
    explicit PoolShare(int threads) : Threads(threads > 0 ? threads : minihost::processorCount()) {
        const std::lock_guard guard(CallsLock);
        ++Running;
        ThreadsInUse += Threads;
        if (ThreadsInUse != PoolSize) {
            useThreads(ThreadsInUse);
            PoolSize = ThreadsInUse;
        }
    }
    ~PoolShare() {
        const std::lock_guard guard(CallsLock);
        ThreadsInUse -= Threads;
        if (--Running == 0)
            NoneRunning.notify_all();
    }
    PoolShare(const PoolShare&) = delete;
    PoolShare& operator=(const PoolShare&) = delete;

  private:
    int Threads;
    minihost::RunWidth Width{Threads};
};

// A fork waits for the calls running on other threads to end, and none starts until it is done:
// the child then holds no lock a thread of the parent held, and its first call starts a pool of
// its own.
void beforeFork() {
    std::unique_lock calls(CallsLock);
    NoneRunning.wait(calls, [] { return Running == 0; });
    calls.release();
}

void afterFork() {
    CallsLock.unlock();
}

std::size_t release() {
    std::size_t bytes = 0;
    {
        const py::gil_scoped_release unlocked;
        {
            const std::lock_guard guard(CallsLock);
            // A pool in use ends with the last call that uses it.
            if (Running == 0 && PoolSize > 0)
                minihost::setThreads(PoolSize);
        }
        bytes = releaseSourceImages();
        loadedTool().releaseIdle();
        malloc_trim(0);
    }
    return bytes;
}

// Runs a render until a signal the process handles arrives: the watcher, as a signal handler may
// not stop it itself, looks for one every few milliseconds.
class StopOnSignal {
  public:
    explicit StopOnSignal(const SignalWatch& watch)
        : Watcher([this, &watch](const std::stop_token& ended) {
              std::mutex lock;
              std::condition_variable_any never;
              std::unique_lock guard(lock);
              while (!ended.stop_requested())
                  if (never.wait_for(guard, ended, std::chrono::milliseconds(10),
                                     [&watch] { return watch.arrived() != 0; })) {
                      Source.request_stop();
                      return;
                  }
          }) {}
    std::stop_token token() const { return Source.get_token(); }

  private:
    std::stop_source Source;
    std::jthread Watcher;
};

// After a call stopped by `signal`: on the main thread, Python's handler runs and what it raises
// is raised; elsewhere, or when it raises nothing, Interrupted. `report` goes with the exception.
[[noreturn]] void raiseStopped(int signal, const py::object& report) {
    if (PyErr_CheckSignals() != 0) {
        py::error_already_set raised;
        py::setattr(raised.value(), "report", report);
        throw raised;
    }
    const py::object type = py::module_::import("umbrix._errors").attr("Interrupted");
    const py::object error = type(signal, report);
    PyErr_SetObject(type.ptr(), error.ptr());
    throw py::error_already_set();
}

py::tuple render(const py::array& depth, const std::optional<py::array>& normals,
                 const std::optional<py::array>& rgba, const ControlArguments& arguments,
                 int threads) {
    const ArrayFrame arrays = renderArrays(depth, normals, rgba);
    checkThreads(threads);
    const Tool& tool = loadedTool();
    const ControlValues values = controlValues(tool, arguments);
    const DepthConvention convention = values.depth();
    std::vector<std::string> warnings;
    std::optional<Rendered> result;
    int stoppedBy = 0;
    {
        const py::gil_scoped_release unlocked;
        const SignalWatch watch;
        const PoolShare share(threads);
        const std::shared_ptr<Frame> frame = arraysFrame(arrays);
        for (const Warnings& raised : {controlWarnings(values), channelWarnings(*frame, "", values),
                                       depthWarnings(*frame, arrays.name, convention)})
            for (const Warning& warning : raised)
                warnings.push_back(warning.kind == Warning::Kind::NoSuppliedNormals
                                       ? "render(): no normals given, and FilterMethod \"Rendered "
                                         "Normals\" compares them: occlusion reads them as 0. "
                                         "Give normals=, or FilterMethod=\"Calculated Normals\""
                                       : warning.text);
        convertDepth(*frame, convention, values[control::CamFOV]);
        {
            const StopOnSignal stop(watch);
            result = tool.render(frame, values, 0.0, stop.token());
        }
        stoppedBy = watch.arrived();
        if (result)
            result->source.reset();
        keepSourceImage(std::move(frame->image));
    }
    if (!result)
        raiseStopped(stoppedBy, py::none());
    return py::make_tuple(resultArray(std::move(result->image)), warnings);
}

std::mutex FileRunTurn;

py::tuple renderFile(RenderOptions options, ControlArguments arguments) {
    checkThreads(options.threads);
    const Tool& tool = loadedTool();
    // depth= over the settings file's, as --depth is.
    arguments.depth = options.depth;
    const ControlValues values = controlValues(tool, arguments);
    options.quiet = true;
    int stoppedBy = 0;
    FileReport report;
    std::vector<std::string> warnings;
    {
        const py::gil_scoped_release unlocked;
        const SignalWatch watch;
        const PoolShare share(options.threads);
        const std::lock_guard turn(FileRunTurn);
        CallMessages messages(CallMessages::Scope::FileRun);
        try {
            report = renderFiles(options, tool, values, [&watch] { return watch.arrived() != 0; });
        } catch (const Stopped& stopped) {
            stoppedBy = watch.arrived();
            report = stopped.report;
        }
        warnings = messages.warnings();
    }
    const py::tuple done = py::make_tuple(report.written, report.skipped, warnings);
    if (stoppedBy != 0)
        raiseStopped(stoppedBy, done);
    return done;
}

py::dict loadSettings(const std::string& path) {
    const Tool& tool = loadedTool();
    py::dict values;
    const SettingsContent content = readSettingsFile(path, tool.controls());
    for (const ControlSetting& setting : content.settings)
        values[py::str(minihost::info(*setting.control).id)] = setting.value;
    if (content.depth)
        values[py::str(DepthKey)] = depthConventionText(*content.depth);
    return values;
}

void saveSettings(const std::string& path, const Items& items) {
    const ControlValues values = controlValues(loadedTool(), {std::nullopt, items, {}});
    values.save(path);
}

std::string controls() {
    return controlsJson(loadedTool().controls());
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
    } catch (const RunError& e) {
        raise(e.memoryRanOut() ? "OutOfMemory" : "RenderError", e.what(), e.path());
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
    pthread_atfork(beforeFork, afterFork, afterFork);
    module.attr("version") = UMBRIX_VERSION;
    module.def("controls", &controls);
    module.def("render", [](const py::array& depth, const std::optional<py::array>& normals,
                            const std::optional<py::array>& rgba,
                            std::optional<std::string> settingsFile, Items settings, Items keywords,
                            std::optional<std::string> depthConvention, int threads) {
        return render(depth, normals, rgba,
                      {std::move(settingsFile), std::move(settings), std::move(keywords),
                       std::move(depthConvention)},
                      threads);
    });
    module.def("render_file",
               [](std::string input, std::string output, std::optional<std::string> frames,
                  std::optional<std::string> settingsFile, Items settings, Items keywords,
                  std::optional<std::string> preview, int threads, std::optional<std::string> layer,
                  std::optional<std::string> ch, std::vector<std::string> types,
                  std::optional<std::string> compression, bool clamp, std::vector<std::string> maps,
                  std::optional<std::string> part, std::optional<std::string> depth,
                  std::vector<std::string> views, bool skipBadFrames, bool dryRun) {
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
                   options.depth = std::move(depth);
                   options.views = std::move(views);
                   options.skipBadFrames = skipBadFrames;
                   options.dryRun = dryRun;
                   return renderFile(
                       std::move(options),
                       {std::move(settingsFile), std::move(settings), std::move(keywords)});
               });
    module.def("load_settings", &loadSettings);
    module.def("release", &release);
    module.def("kept_bytes", &keptSourceBytes);
    module.def("save_settings", &saveSettings);
}
