// The other commands: controls, about, --version, --help, demo.

#include "tests/app/ProgramTest.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace apptest {
namespace {

using Commands = ProgramTest;

TEST_F(Commands, ControlsJsonIsWhatTheToolRegistered) {
    const Outcome run = inProcess({"controls", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto listed = nlohmann::json::parse(run.out);
    std::vector<const minihost::ControlInfo*> registered;
    for (Input* in : minihost::inputs(*Tool))
        if (minihost::info(*in).dataType != "Image")
            registered.push_back(&minihost::info(*in));
    ASSERT_EQ(listed.size(), registered.size());
    for (std::size_t k = 0; k < registered.size(); ++k) {
        const auto& info = *registered[k];
        const auto& entry = listed[k];
        SCOPED_TRACE(info.id);
        EXPECT_EQ(entry["id"], info.id);
        EXPECT_EQ(entry["name"], info.name);
        EXPECT_EQ(entry["page"], info.page);
        EXPECT_EQ(entry["entries"].get<std::vector<std::string>>(), info.comboEntries);
        if (info.defaultValue)
            EXPECT_EQ(bits(entry["default"].get<float>()),
                      bits(static_cast<float>(*info.defaultValue)));
        else
            EXPECT_TRUE(entry["default"].is_null());
        EXPECT_EQ(entry["low"].is_null(), !info.low.has_value());
        EXPECT_EQ(entry["high"].is_null(), !info.high.has_value());
    }
    EXPECT_EQ(listed[2]["kind"], "combo");
    EXPECT_EQ(listed[3]["kind"], "slider");
    EXPECT_EQ(listed[3]["wholeNumber"], true);
    EXPECT_EQ(listed[4]["wholeNumber"], false);
}

TEST_F(Commands, ControlsTableHasARowPerControl) {
    const Outcome run = inProcess({"controls"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::size_t row = run.out.find('\n') + 1;
    for (Input* in : minihost::inputs(*Tool)) {
        const auto& info = minihost::info(*in);
        if (info.dataType == "Image")
            continue;
        ASSERT_EQ(run.out.compare(row, info.id.size(), info.id), 0) << run.out;
        EXPECT_NE(run.out.find(info.name, row), std::string::npos);
        row = run.out.find('\n', row) + 1;
    }
    EXPECT_EQ(row, run.out.size());
}

TEST_F(Commands, AboutPrintsWhatTheAboutButtonShows) {
    std::string shown;
    minihost::setMessageBoxHandler([&shown](const char* text, const char*, unsigned) {
        shown = text;
        return 1;
    });
    set(*Tool, "About", 1.0);
    minihost::setMessageBoxHandler(nullptr);
    const Outcome run = inProcess({"about"});
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(run.out, shown + "\n");
}

TEST_F(Commands, VersionAndHelp) {
    const Outcome version = inProcess({"--version"});
    EXPECT_EQ(version.status, 0);
    int major = -1, minor = -1, patch = -1;
    char end = 0;
    EXPECT_EQ(std::sscanf(version.out.c_str(), "umbrix %d.%d.%d%c", &major, &minor, &patch, &end),
              4)
        << version.out;
    EXPECT_EQ(end, '\n');
    for (const char* command : {"render", "demo", "controls", "about"}) {
        const Outcome help = inProcess({command, "--help"});
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_NE(help.out.find(std::string("umbrix ") + command), std::string::npos) << help.out;
    }
    const Outcome none = inProcess({});
    EXPECT_EQ(none.status, 2);
    EXPECT_TRUE(isMessage(none.err, {}));
}

// A mistyped command or option gets the closest one, and the usage of the command named.
TEST_F(Commands, MistakesGetSuggestionsAndTheCommandsHelp) {
    const std::string in = Folder.path("in.exr");
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
        {{"rendr", in}, {"no command 'rendr'", "did you mean 'render'?", "umbrix --help"}},
        {{"render", in, "-o", in, "--frame", "1-5"},
         {"unknown option --frame", "did you mean --frames?", "umbrix render --help"}},
        {{"render", in, "--quiett", "-o", in}, {"--quiett", "did you mean --quiet?"}},
        {{"render", in, "-o", in, "--skip-bad-frame"}, {"did you mean --skip-bad-frames?"}},
        {{"render", in, "-o", in, "-qx"}, {"unknown option -qx", "umbrix render --help"}},
        {{"demo", "--thread=2"}, {"--thread", "did you mean --threads?", "umbrix demo --help"}},
        {{"controls", "--jsn"}, {"did you mean --json?", "umbrix controls --help"}},
        {{"--verison"}, {"did you mean --version?", "umbrix --help"}},
        {{"render", in}, {"--output is required", "umbrix render --help"}}};
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(args[1 % args.size()]);
        const Outcome run = inProcess(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(isMessage(run.err, message));
    }
    EXPECT_EQ(Folder.entries(), std::vector<std::string>{});
}

TEST_F(Commands, DemoWritesTheSceneAndItsPreview) {
    const Outcome run = inProcess({"demo", "-o", Folder.path("demo"), "--size", "64x36", "-q"});
    ASSERT_EQ(run.status, 0) << run.err;
    const FileData scene = readFile(Folder.path("demo/demo.exr"));
    EXPECT_EQ(scene.header.channelnames,
              (std::vector<std::string>{"R", "G", "B", "A", "Z", "N.X", "N.Y", "N.Z", "diffuse.R",
                                        "diffuse.G", "diffuse.B"}));
    bool occluded = false;
    for (int y = 0; y < 36; ++y)
        for (int x = 0; x < 64; ++x) {
            const float length =
                std::hypot(scene.at(x, y, "N.X"), scene.at(x, y, "N.Y"), scene.at(x, y, "N.Z"));
            ASSERT_NEAR(length, 1.0f, 1e-5f) << "normal at (" << x << ", " << y << ")";
            ASSERT_GT(scene.at(x, y, "Z"), 0.0f);
            occluded = occluded || scene.at(x, y, "A") < 1.0f;
        }
    EXPECT_TRUE(occluded);
    const FileData preview = readFile(Folder.path("demo/demo.png"));
    EXPECT_EQ(preview.header.width, 128);
    EXPECT_EQ(preview.header.height, 36);
    EXPECT_EQ(inProcess({"demo", "--size", "64"}).status, 2);
}

} // namespace
} // namespace apptest
