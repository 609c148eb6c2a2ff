#include "look/LookCommand.h"

#include "app/Console.h"
#include "app/Failure.h"
#include "app/core/ControlValues.h"
#include "app/core/RenderJobs.h"
#include "app/core/StoredLook.h"
#include "app/core/Tool.h"
#include "look/LookServer.h"
#include "look/LookService.h"
#include "look/LookSession.h"

#include <atomic>
#include <boost/asio/signal_set.hpp>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fmt/format.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace umbrix {

using namespace look;

FrameSource lookFrames(const LookOptions& options) {
    if (options.depth)
        parseDepthConvention(*options.depth);
    auto inputs = std::make_shared<const InputFrames>(options.input, options.frames);
    if (options.saveSettings)
        checkSettingsTarget(*options.saveSettings, inputs->named());
    FrameSource source;
    for (std::size_t k = 0; k < inputs->size(); ++k) {
        source.paths.push_back(inputs->path(k));
        source.numbers.push_back(inputs->number(k));
    }
    source.read = [inputs, naming = frameNaming({options.part, options.maps, std::nullopt}),
                   part = options.part](std::size_t index) -> std::shared_ptr<const Frame> {
        return inputs->read(index, naming, part);
    };
    return source;
}

std::string shellWord(const std::string& word) {
    if (!word.empty() &&
        word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                               "0123456789#@%_-+=.,/:") == std::string::npos)
        return word;
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

namespace {

// The output is the user's to name; this one sits beside the input: shot.####.exr gives
// shot_ao.####.exr.
std::string suggestedOutput(const std::string& input) {
    const std::filesystem::path path(input);
    std::string name = path.filename().string();
    const std::size_t dot = name.find('.');
    name = dot == std::string::npos ? name + "_ao.exr" : name.insert(dot, "_ao");
    return (path.parent_path() / name).string();
}

std::string renderLine(const LookOptions& options) {
    if (!options.saveSettings)
        return {};
    std::string line = fmt::format("umbrix render {} -o {}", shellWord(options.input),
                                   shellWord(suggestedOutput(options.input)));
    if (options.frames)
        line += " --frames " + shellWord(*options.frames);
    if (options.part)
        line += " --part " + shellWord(*options.part);
    for (const std::string& map : options.maps)
        line += " --map " + shellWord(map);
    return line + " --settings " + shellWord(*options.saveSettings);
}

// Where the page's first values came from, when not from the tool's defaults alone.
std::string startedFrom(const LookOptions& options, const std::string& first,
                        const StoredLook& stored) {
    if (stored.applied == 0)
        return {};
    std::vector<std::string> sources = {
        fmt::format("the look stored in {}", std::filesystem::path(first).filename().string())};
    if (options.settingsFile)
        sources.push_back(*options.settingsFile);
    if (!options.settings.empty())
        sources.push_back("--set");
    return fmt::format("Started from {}", fmt::join(sources, ", then "));
}

// Only where a desktop is: on a server over ssh the printed address is what the user follows.
void openBrowser(const std::string& url) {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        console::message("--open: no desktop here; open the address above in a browser");
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    std::string program = "xdg-open";
    std::string address = url;
    char* argv[] = {program.data(), address.data(), nullptr};
    const int error = posix_spawnp(&child, "xdg-open", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        console::message("--open: cannot start xdg-open; open the address above in a browser");
}

} // namespace

void runLook(const LookOptions& options) {
    FrameSource source = lookFrames(options);
    const auto read = source.read;
    std::atomic<LookServer*> server{nullptr};
    LookSession session(options.library.value_or(defaultLibraryPath()), std::move(source),
                        [&server] {
                            if (LookServer* serving = server.load())
                                serving->rendered();
                        });
    std::shared_ptr<const Frame> first = read(0);
    // The look a frame the program wrote keeps comes first; the settings file and --set apply
    // over it.
    ControlValues values(session.controls());
    const StoredLook stored = applyStoredLook(*first, values);
    for (const Warning& warning : stored.warnings)
        console::warning(warning.text);
    values.apply({options.settingsFile, options.settings, {}, options.depth});
    session.changeAll(values);
    useThreads(options.threads);
    session.start(std::move(first));

    boost::asio::io_context io;
    std::optional<LookService> service;
    LookServer listening(
        io, static_cast<unsigned short>(options.port), ServerLimits{},
        [&service](const HttpRequest& request) { return service->handle(request); });
    const Access access(Access::newToken(), listening.port());
    service.emplace(session, access, LookService::Saving{options.saveSettings, renderLine(options)},
                    startedFrom(options, session.frames().paths[0], stored));
    server.store(&listening);

    const std::string url =
        fmt::format("http://127.0.0.1:{}/?token={}", access.port(), access.token());
    std::printf("umbrix: look at %s\n", url.c_str());
    std::fflush(stdout);
    if (options.open)
        openBrowser(url);

    boost::asio::signal_set stop(io, SIGINT, SIGTERM);
    stop.async_wait([&io](const boost::system::error_code&, int) { io.stop(); });
    io.run();
    // No render may tell the server of its picture while the server goes.
    session.stop();
    server.store(nullptr);
}

} // namespace umbrix
