#include "cli/CommandLine.h"

#include "app/Console.h"
#include "app/Failure.h"
#include "app/core/ControlSetting.h"
#include "app/core/Tool.h"
#include "cli/ControlsCommand.h"
#include "cli/DemoCommand.h"
#include "cli/RenderCommand.h"
#include "look/LookCommand.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fmt/format.h>
#include <new>
#include <string>

namespace {

using namespace umbrix;

struct Commands {
    CLI::App* render = nullptr;
    CLI::App* demo = nullptr;
    CLI::App* controls = nullptr;
    CLI::App* about = nullptr;
    CLI::App* look = nullptr;
    RenderOptions renderOptions;
    LookOptions lookOptions;
    DemoOptions demoOptions;
    bool json = false;
    std::optional<std::string> library;
};

CLI::Validator threadCount() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            const std::optional<int> threads = umbrix::threadCount(text);
            if (!threads)
                return fmt::format("'{}' is not a number of threads from 0 (one per core) to {}",
                                   text, MaxThreads);
            text = std::to_string(*threads);
            return {};
        },
        fmt::format("0 to {}", MaxThreads));
}

void addLibraryOption(CLI::App& command, std::optional<std::string>& library) {
    command.add_option(
        "--plugin", library,
        "The tool library to load (default: umbrix.plugin installed with this program)");
}

void addRender(CLI::App& app, Commands& commands) {
    RenderOptions& o = commands.renderOptions;
    CLI::App* render = app.add_subcommand("render", "Render an image or a sequence of images");
    render->add_option("INPUT", o.input, "Image file to read (#### etc. for a sequence)")
        ->required();
    render->add_option("-o,--output", o.output, "Image file to write; .exr keeps every channel")
        ->required();
    render->add_option("--set", o.settings, "Set a control: ID=VALUE (see 'umbrix controls')")
        ->allow_extra_args(false);
    render
        ->add_option(
            "--map", o.maps,
            "Put a file channel at a number or role: NAME=NUMBER, NAME=depth, NAME=normal.x")
        ->allow_extra_args(false);
    render->add_option("--frames", o.frames, "Frames: 1-100, 1-100x2, 100-1, 1,5,10-20");
    render->add_option("--threads", o.threads, "Worker threads; 0 is one per core")
        ->transform(threadCount());
    render->add_option("--preview", o.preview, "Also write an 8-bit preview (normals | occlusion)");
    render->add_option("--part", o.part,
                       "The part of a multi-part EXR to render (default: the first with depth)");
    render
        ->add_option("--view", o.views,
                     "A view of a multi-view EXR to render, the others carried (default: every "
                     "view with depth)")
        ->allow_extra_args(false);
    render->add_option("--layer", o.layer,
                       "Write the results as NAME.R NAME.G NAME.B NAME.A and keep the input's own "
                       "R G B A: --layer ssao");
    render->add_option("--ch", o.channels,
                       "Output channels to write, in order, NEW=OLD to rename: --ch R,G,B,AO=A");
    render
        ->add_option("-d", o.types,
                     "Pixel type of the results, or of one output channel: -d half, "
                     "-d ssao.A=float")
        ->allow_extra_args(false);
    render->add_option("--compression", o.compression,
                       "Output compression: none rle zips zip piz pxr24 b44 b44a dwaa dwab, "
                       "zip:LEVEL, dwaa:QUALITY: --compression zip:9");
    render->add_flag("--clamp", o.clamp,
                     "Write occlusion clamped to [0, 1] (the tool does not clamp)");
    render->add_flag("-q,--quiet", o.quiet, "No progress output");
    render->add_option("--depth", o.depth,
                       "How the depth channel measures depth: z (planar, the default), inverse "
                       "(1/z), distance (along the ray), normalized:NEAR:FAR (0 near, 1 far), "
                       "normalized-inverted:NEAR:FAR (1 near)");
    render->add_flag("-v,--verbose", o.verbose,
                     "Print each file channel's role and every control's value before rendering");
    render->add_flag("-n,--dry-run", o.dryRun,
                     "Read and check every frame as a render would, but render and write nothing");
    render->add_option("--settings", o.settingsFile,
                       "Control values from a JSON file ({\"Matrix\": 16, ...}), before any --set");
    render->add_option("--save-settings", o.saveSettings,
                       "Write the control values in effect to a JSON file, for --settings");
    render->add_flag("--skip-bad-frames", o.skipBadFrames,
                     "Leave out a frame that cannot be read and render the rest (exit 1)");
    addLibraryOption(*render, o.library);
    commands.render = render;
}

void addDemo(CLI::App& app, Commands& commands) {
    DemoOptions& o = commands.demoOptions;
    CLI::App* demo = app.add_subcommand(
        "demo", "Render the built-in scene with both passes: DIR/demo.exr and DIR/demo.png");
    demo->add_option("-o,--output", o.folder, "Folder to write into (made if missing)");
    demo->add_option("--size", o.size, "Picture size, WIDTHxHEIGHT (default 960x540)");
    demo->add_option("--threads", o.threads, "Worker threads; 0 is one per core")
        ->transform(threadCount());
    demo->add_flag("-q,--quiet", o.quiet, "No progress output");
    addLibraryOption(*demo, o.library);
    commands.demo = demo;
}

void addLook(CLI::App& app, Commands& commands) {
    LookOptions& o = commands.lookOptions;
    CLI::App* look = app.add_subcommand(
        "look",
        "Serve the controls and a live viewer to a browser on this machine, to find a look");
    look->add_option("INPUT", o.input, "Image file to read (#### etc. for a sequence)")->required();
    look->add_option("--set", o.settings, "Set a control: ID=VALUE (see 'umbrix controls')")
        ->allow_extra_args(false);
    look->add_option("--map", o.maps,
                     "Put a file channel at a number or role: NAME=NUMBER, NAME=depth, "
                     "NAME=normal.x")
        ->allow_extra_args(false);
    look->add_option("--frames", o.frames, "Frames: 1-100, 1-100x2, 100-1, 1,5,10-20");
    look->add_option("--threads", o.threads, "Worker threads; 0 is one per core")
        ->transform(threadCount());
    look->add_option("--part", o.part,
                     "The part of a multi-part EXR to render (default: the first with depth)");
    look->add_option("--depth", o.depth,
                     "How the depth channel measures depth: z (the default), inverse, distance, "
                     "normalized:NEAR:FAR, normalized-inverted:NEAR:FAR");
    look->add_option("--settings", o.settingsFile,
                     "Control values to start from, a JSON file ({\"Matrix\": 16, ...})");
    look->add_option("--save-settings", o.saveSettings,
                     "Where the page's Save writes the control values, for render --settings");
    look->add_option("--port", o.port, "Port on 127.0.0.1 to serve on; 0 picks a free one")
        ->check(CLI::Range(0, 65535));
    look->add_flag("--open", o.open, "Open the page in the desktop's browser");
    addLibraryOption(*look, o.library);
    commands.look = look;
}

void addInformation(CLI::App& app, Commands& commands) {
    commands.controls =
        app.add_subcommand("controls", "List the controls: identifier, name, kind, default, range");
    commands.controls->add_flag("--json", commands.json, "As JSON");
    addLibraryOption(*commands.controls, commands.library);
    commands.about = app.add_subcommand("about", "Print the tool's About text");
    addLibraryOption(*commands.about, commands.library);
}

void run(const Commands& commands) {
    if (commands.render->parsed())
        runRender(commands.renderOptions);
    else if (commands.demo->parsed())
        runDemo(commands.demoOptions);
    else if (commands.controls->parsed())
        runControls(commands.json, commands.library);
    else if (commands.about->parsed())
        runAbout(commands.library);
    else if (commands.look->parsed())
        runLook(commands.lookOptions);
}

int fail(int status, const std::string& text) {
    console::message(text);
    return status;
}

bool isNumber(const std::string& text) {
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0';
}

bool knownOption(const CLI::App& command, const std::string& word) {
    if (word.rfind("--", 0) == 0 || word.size() <= 2)
        return command.get_option_no_throw(word) != nullptr;
    // Short flags together, as in -qv.
    for (std::size_t k = 1; k < word.size(); ++k)
        if (!command.get_option_no_throw(std::string{'-', word[k]}))
            return false;
    return true;
}

// The first word after the command's name that looks like an option the command does not have.
std::optional<std::string> unknownOption(const CLI::App& command, int argc, char** argv, int from) {
    for (int k = from; k < argc; ++k) {
        const std::string arg = argv[k];
        if (arg == "--")
            break;
        if (arg.size() < 2 || arg[0] != '-' || isNumber(arg))
            continue;
        const std::string word = arg.substr(0, arg.find('='));
        if (!knownOption(command, word))
            return word;
    }
    return std::nullopt;
}

std::string optionSuggestion(const CLI::App& command, const std::string& word) {
    std::vector<Candidate> candidates;
    for (const CLI::Option* option : command.get_options()) {
        for (const std::string& name : option->get_lnames())
            candidates.push_back({"--" + name, "--" + name});
        for (const std::string& name : option->get_snames())
            candidates.push_back({"-" + name, "-" + name});
    }
    const auto closest = closestCandidate(word, candidates);
    return closest ? fmt::format("; did you mean {}?", *closest) : "";
}

std::string commandSuggestion(const CLI::App& app, const std::string& word) {
    std::vector<Candidate> candidates;
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; }))
        candidates.push_back({command->get_name(), command->get_name()});
    const auto closest = closestCandidate(word, candidates);
    return closest ? fmt::format("; did you mean '{}'?", *closest) : "";
}

// What went wrong on the command line, in the user's words where CLI11's are vague, and where the
// usage is: the command's own help once a command is named.
std::string usageMessage(const CLI::App& app, const CLI::ParseError& error, int argc, char** argv) {
    const std::vector<CLI::App*> given = app.get_subcommands();
    const CLI::App* command = given.empty() ? &app : given.front();
    const std::string help =
        given.empty() ? "umbrix --help" : fmt::format("umbrix {} --help", command->get_name());
    if (given.empty() && argc > 1 && argv[1][0] != '-')
        return fmt::format("no command '{}'{} ({} shows the usage)", argv[1],
                           commandSuggestion(app, argv[1]), help);
    int from = 1;
    while (!given.empty() && from < argc && argv[from] != command->get_name())
        ++from;
    std::string text = error.what();
    if (const auto word = unknownOption(*command, argc, argv, from + (given.empty() ? 0 : 1)))
        text = fmt::format("{}unknown option {}{}", given.empty() ? "" : command->get_name() + ": ",
                           *word, optionSuggestion(*command, *word));
    return fmt::format("{} ({} shows the usage)", text, help);
}

} // namespace

namespace umbrix {

int runCommandLine(int argc, char** argv) {
    console::startRun();
    CLI::App app("Normals and screen-space ambient occlusion from a depth channel.", "umbrix");
    app.set_version_flag("--version", "umbrix " UMBRIX_VERSION);
    app.require_subcommand(1);
    Commands commands;
    addRender(app, commands);
    addDemo(app, commands);
    addInformation(app, commands);
    addLook(app, commands);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return fail(ExitUsage, usageMessage(app, e, argc, argv));
    }
    try {
        run(commands);
        return ExitOk;
    } catch (const UsageError& e) {
        return fail(ExitUsage, e.what());
    } catch (const RunError& e) {
        return fail(ExitFailure, e.what());
    } catch (const std::bad_alloc&) {
        return fail(ExitFailure, "out of memory");
    } catch (const std::exception& e) {
        return fail(ExitFailure, e.what());
    }
}

} // namespace umbrix
