#include "app/Console.h"
#include "app/Failure.h"
#include "app/commands/ControlsCommand.h"
#include "app/commands/DemoCommand.h"
#include "app/commands/RenderCommand.h"
#include "app/files/AtomicFile.h"

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <string>

namespace {

using namespace umbrix;

struct Commands {
    CLI::App* render = nullptr;
    CLI::App* demo = nullptr;
    CLI::App* controls = nullptr;
    CLI::App* about = nullptr;
    RenderOptions renderOptions;
    DemoOptions demoOptions;
    bool json = false;
    std::optional<std::string> library;
};

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
    render->add_option("--map", o.maps, "Put a file channel at a channel number: NAME=NUMBER")
        ->allow_extra_args(false);
    render->add_option("--frames", o.frames, "Frames: 1-100, 1-100x2, 100-1, 1,5,10-20");
    render->add_option("--threads", o.threads, "Worker threads; 0 is one per core");
    render->add_option("--preview", o.preview, "Also write an 8-bit preview (normals | occlusion)");
    render->add_option("--part", o.part,
                       "The part of a multi-part EXR to render (default: the first with depth)");
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
    addLibraryOption(*render, o.library);
    commands.render = render;
}

void addDemo(CLI::App& app, Commands& commands) {
    DemoOptions& o = commands.demoOptions;
    CLI::App* demo = app.add_subcommand(
        "demo", "Render the built-in scene with both passes: DIR/demo.exr and DIR/demo.png");
    demo->add_option("-o,--output", o.folder, "Folder to write into (made if missing)");
    demo->add_option("--size", o.size, "Picture size, WIDTHxHEIGHT (default 960x540)");
    demo->add_option("--threads", o.threads, "Worker threads; 0 is one per core");
    demo->add_flag("-q,--quiet", o.quiet, "No progress output");
    addLibraryOption(*demo, o.library);
    commands.demo = demo;
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
}

int fail(int status, const std::string& text) {
    console::message(text);
    return status;
}

} // namespace

int main(int argc, char** argv) {
    // A closed stderr (a farm's log reader gone) must not kill a run whose frames are written.
    std::signal(SIGPIPE, SIG_IGN);
    CLI::App app("Normals and screen-space ambient occlusion from a depth channel.", "umbrix");
    app.set_version_flag("--version", "umbrix " UMBRIX_VERSION);
    app.require_subcommand(1);
    Commands commands;
    addRender(app, commands);
    addDemo(app, commands);
    addInformation(app, commands);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return fail(ExitUsage, std::string(e.what()) + " (umbrix --help shows the usage)");
    }
    removeTemporaryOnSignal();
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
