// --set: values reach the tool as typed, by identifier; mistakes are usage errors.

#include "tests/app/ProgramTest.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fmt/format.h>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace apptest {
namespace {

class ControlSetting : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        Source = sceneFile(12, 9,
                           {{"R", Role::Colour},
                            {"A", Role::Alpha},
                            {"Z", Role::Depth},
                            {"N.X", Role::NormalX},
                            {"N.Y", Role::NormalY},
                            {"N.Z", Role::NormalZ}});
        writeFile(Folder.path("in.exr"), Source);
    }

    // Renders through the program with `arguments`; the output, or a failed test.
    FileData renderWith(const std::vector<std::string>& arguments, const std::string& name) {
        std::vector<std::string> args = {"render", Folder.path("in.exr"), "-o", Folder.path(name),
                                         "--quiet"};
        args.insert(args.end(), arguments.begin(), arguments.end());
        const Outcome run = inProcess(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return readFile(Folder.path(name));
    }

    // The program's output for `settings` equals the in-process render with them, to the bit.
    void expectReachesTool(const std::vector<Setting>& settings) {
        const FileData out = renderWith(setArguments(settings), "out.exr");
        const minihost::ImagePtr expected =
            renderInProcess(Source, {0, 3, 4, 10, 11, 12}, settings);
        ASSERT_TRUE(expected);
        const std::vector<std::pair<std::string, int>> channels = {{"R", 0}, {"G", 1}, {"B", 2},
                                                                   {"A", 3}, {"Z", 4}, {"N.X", 10}};
        for (const auto& [name, number] : channels)
            for (int y = 0; y < out.header.height; ++y)
                for (int x = 0; x < out.header.width; ++x)
                    ASSERT_EQ(bits(out.at(x, y, name)),
                              bits(minihost::sample(*expected, x, y, number)))
                        << name << " at (" << x << ", " << y << ")";
    }

    Outcome failing(const std::string& setting) {
        return inProcess(
            {"render", Folder.path("in.exr"), "-o", Folder.path("bad.exr"), "--set", setting});
    }

    FileData Source;
};

TEST_F(ControlSetting, SwitchesOffLeaveTheOutputAsTheToolMadeIt) {
    const Outcome run = inProcess(
        {"render", Folder.path("in.exr"), "-o", Folder.path("out.exr"), "--set", "UseNormals=0"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(isMessage(run.err, {"warning", "UseNormals", "UseSSAO", "all zeros"}));
    for (float value : readFile(Folder.path("out.exr")).pixels)
        ASSERT_EQ(bits(value), 0u);
    EXPECT_EQ(failing("UseNormals=1").err.find("zeros"), std::string::npos);
}

TEST_F(ControlSetting, EverySliderReachesTheTool) {
    expectReachesTool({{"UseSSAO", "1"},
                       {"Matrix", "4"},
                       {"Amount", "0.125"},
                       {"SmalDepth", "0.05"},
                       {"DepthThreshold", "3"},
                       {"NormalsAngleControll", "10"},
                       {"NormalsZControll", "0.5"},
                       {"CamFOV", "70"},
                       {"FilterMethod", "1"}});
}

TEST_F(ControlSetting, ValuesOutsideTheRangeReachTheToolUnchanged) {
    expectReachesTool({{"UseSSAO", "1"}, {"Matrix", "-3"}});
    expectReachesTool({{"UseSSAO", "1"}, {"DepthThreshold", "0"}, {"Amount", "-2"}});
}

TEST_F(ControlSetting, ValuesOutsideTheRangeGetOneWarningEach) {
    const Outcome run = inProcess({"render", Folder.path("in.exr"), "-o", Folder.path("out.exr"),
                                   "-q", "--set", "Matrix=201", "--set", "FilterMethod=3", "--set",
                                   "UseSSAO=nan", "--set", "Amount=1", "--set", "SmalDepth=2.5"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::vector<std::string>> expected = {
        {"warning", "Matrix=201", "0 to 200"},
        {"warning", "FilterMethod=3", "0 to 2"},
        {"warning", "UseSSAO=nan", "0 (off) or 1 (on)"}};
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < run.err.size(); at = run.err.find('\n', at) + 1)
        lines.push_back(run.err.substr(at, run.err.find('\n', at) - at));
    ASSERT_EQ(lines.size(), expected.size()) << run.err;
    for (const auto& parts : expected)
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [&](const std::string& line) { return isMessage(line, parts); }),
                  1)
            << parts[1] << " in " << run.err;
}

// Settings that leave every calculated normal with a NaN z, or NaN through and through, are warned
// of, and it is so.
TEST_F(ControlSetting, SettingsThatMakeEveryNormalNaNAreWarnedOf) {
    struct Case {
        std::vector<std::string> settings;
        std::vector<std::string> nanChannels; // in every pixel; empty: no warning
    };
    const std::vector<Case> cases = {{{"CamFOV=0"}, {"R", "G", "B"}},
                                     {{"CamFOV=nan"}, {"R", "G", "B"}},
                                     {{"CamFOV=inf"}, {"R", "G", "B"}},
                                     {{"NormalsZControll=nan"}, {"R"}},
                                     {{"CamFOV=1e-3"}, {}},
                                     {{"NormalsZControll=0"}, {}},
                                     {{"CamFOV=0", "UseNormals=0", "UseSSAO=1"}, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings.front());
        std::vector<std::string> args = {"render", Folder.path("in.exr"), "-o",
                                         Folder.path("out.exr"), "-q"};
        for (const std::string& setting : c.settings)
            args.insert(args.end(), {"--set", setting});
        const Outcome run = inProcess(args);
        ASSERT_EQ(run.status, 0) << run.err;
        std::vector<std::string> warned;
        for (std::size_t at = 0; at < run.err.size(); at = run.err.find('\n', at) + 1)
            if (run.err.find("calculated normal", at) < run.err.find('\n', at))
                warned.push_back(run.err.substr(at, run.err.find('\n', at) - at));
        if (c.nanChannels.empty()) {
            EXPECT_EQ(warned, std::vector<std::string>{});
        } else {
            const std::string what = c.nanChannels.size() == 1 ? "the z of every" : "every";
            EXPECT_EQ(warned, std::vector<std::string>{fmt::format(
                                  "umbrix: warning: {} makes {} calculated normal NaN ({} of the "
                                  "output)",
                                  c.settings.front(), what, fmt::join(c.nanChannels, " "))});
        }
        const FileData out = readFile(Folder.path("out.exr"));
        for (const char* channel : {"R", "G", "B"}) {
            bool allNaN = true;
            for (int y = 0; y < out.header.height; ++y)
                for (int x = 0; x < out.header.width; ++x)
                    allNaN = allNaN && std::isnan(out.at(x, y, channel));
            EXPECT_EQ(allNaN, std::find(c.nanChannels.begin(), c.nanChannels.end(), channel) !=
                                  c.nanChannels.end())
                << channel;
        }
    }
}

TEST_F(ControlSetting, UnknownIdentifierIsAUsageErrorWithASuggestion) {
    const Outcome run = failing("Matirx=8");
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(isMessage(run.err, {"Matirx", "did you mean 'Matrix'?"}));
    EXPECT_TRUE(isMessage(failing("Small depth=1").err, {"did you mean 'SmalDepth'?"}));
    EXPECT_TRUE(isMessage(failing("usessa=1").err, {"did you mean 'UseSSAO'?"}));
    EXPECT_EQ(failing("Frobnicate=1").status, 2);
    EXPECT_EQ(Folder.entries(), std::vector<std::string>{"in.exr"});
}

TEST_F(ControlSetting, AnythingAfterTheNumberIsAUsageError) {
    for (const char* text : {"Matrix=8x", "Matrix=", "Matrix= ", "Matrix=8 4", "Matrix=one",
                             "Matrix=on", "FilterMethod=Calculated", "Matrix"}) {
        SCOPED_TRACE(text);
        const Outcome run = failing(text);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(isMessage(run.err, {"--set"}));
    }
    EXPECT_EQ(Folder.entries(), std::vector<std::string>{"in.exr"});
}

// Identifiers in any case when only one control is spelt so, switches in words, entry names in any
// case, and blanks around a number: each reaches the tool as its number would.
TEST_F(ControlSetting, OtherSpellingsMeanTheSameValues) {
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> pairs = {
        {{"usessao=on", "USENORMALS=yes", "matrix= 3", "filtermethod=calculated normals"},
         {"UseSSAO=1", "UseNormals=1", "Matrix=3", "FilterMethod=1"}},
        {{"UseSSAO=TRUE", "UseNormals=off", "Matrix=3 ", "FilterMethod= Disabled"},
         {"UseSSAO=1", "UseNormals=0", "Matrix=3", "FilterMethod=2"}},
        {{"UseSSAO=Yes", "UseNormals=false", "Matrix=\t2", "DepthThreshold= 3 "},
         {"UseSSAO=1", "UseNormals=0", "Matrix=2", "DepthThreshold=3"}},
        {{"UseSSAO=no", "UseNormals=true"}, {"UseSSAO=0", "UseNormals=1"}}};
    for (const auto& [typed, numbers] : pairs) {
        SCOPED_TRACE(typed.front());
        std::vector<std::string> typedArgs, numberArgs;
        for (const std::string& setting : typed)
            typedArgs.insert(typedArgs.end(), {"--set", setting});
        for (const std::string& setting : numbers)
            numberArgs.insert(numberArgs.end(), {"--set", setting});
        const FileData asTyped = renderWith(typedArgs, "typed.exr");
        const FileData asNumbers = renderWith(numberArgs, "numbers.exr");
        EXPECT_TRUE(sameChannelBits(asNumbers, asTyped, {"R", "G", "B", "A"}));
    }
}

TEST_F(ControlSetting, ButtonAndImageInputAreNotValues) {
    EXPECT_EQ(failing("About=1").status, 2);
    EXPECT_EQ(failing("Input=1").status, 2);
}

// A look saved with --save-settings and given back with --settings renders the same bits as the
// --set run it came from, and every value it names is the same double in the file and in both
// outputs: fractions a float cannot hold, a negative zero, infinity. --set after it still has the
// last word.
TEST_F(ControlSetting, SavedSettingsGiveTheSameRender) {
    struct Saved {
        const char* id;
        const char* typed;
        double value;
    };
    const std::vector<std::vector<Saved>> looks = {
        {{"UseSSAO", "on", 1},
         {"FilterMethod", "Calculated Normals", 1},
         {"Matrix", "3", 3},
         {"Amount", "0.1", 0.1},
         {"SmalDepth", "0.003", 0.003},
         {"DepthThreshold", "2.7", 2.7},
         {"NormalsAngleControll", "1e-7", 1e-7},
         {"NormalsZControll", "0.3", 0.3},
         {"CamFOV", "70.1", 70.1}},
        {{"UseSSAO", "1", 1}, {"UseNormals", "-0", -0.0}, {"DepthThreshold", "inf", INFINITY}}};
    const auto bitsOf = [](double value) { return std::bit_cast<std::uint64_t>(value); };
    for (const std::vector<Saved>& look : looks) {
        SCOPED_TRACE(look.back().typed);
        std::vector<std::string> saving = {"--save-settings", Folder.path("look.json")};
        for (const Saved& saved : look)
            saving.insert(saving.end(), {"--set", std::string(saved.id) + "=" + saved.typed});
        const FileData byHand = renderWith(saving, "hand.exr");
        const FileData fromFile = renderWith({"--settings", Folder.path("look.json")}, "file.exr");
        EXPECT_TRUE(sameChannelBits(byHand, fromFile, byHand.header.channelnames));
        std::ifstream file(Folder.path("look.json"));
        const auto json = nlohmann::json::parse(file);
        EXPECT_EQ(json.size(), 10u) << json.dump();
        for (const Saved& saved : look) {
            SCOPED_TRACE(saved.id);
            // What JSON has no number for is saved as text that --set takes.
            const nlohmann::json& inFile = json.at(saved.id);
            EXPECT_EQ(bitsOf(inFile.is_string()
                                 ? std::strtod(inFile.get<std::string>().c_str(), nullptr)
                                 : inFile.get<double>()),
                      bitsOf(saved.value));
            for (const FileData* out : {&byHand, &fromFile})
                EXPECT_EQ(bitsOf(stampedValue(out->header, saved.id).value_or(NAN)),
                          bitsOf(saved.value));
        }
    }
    std::ofstream(Folder.path("edited.json")) << R"({"matrix": 9, "UseSSAO": true})";
    const FileData edited =
        renderWith({"--settings", Folder.path("edited.json"), "--set", "Matrix=3"}, "edited.exr");
    const FileData direct = renderWith({"--set", "UseSSAO=1", "--set", "Matrix=3"}, "direct.exr");
    EXPECT_TRUE(sameChannelBits(direct, edited, direct.header.channelnames));
}

// The depth convention a look was found with is kept in its file unless it is z, and a render
// with the file reads the depth so; --depth on the command line has the last word.
TEST_F(ControlSetting, TheDepthConventionTravelsWithTheLook) {
    const std::vector<std::string> occlusion = {"--set", "UseSSAO=1", "--set", "Matrix=3"};
    const auto with = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.end(), occlusion.begin(), occlusion.end());
        return arguments;
    };
    struct Case {
        std::vector<std::string> saving; // --depth as saved
        const char* inFile;              // the file's "depth"; nullptr for none
        std::vector<std::string> given;  // beside --settings
        std::vector<std::string> same;   // the options that render the same bits
    };
    const std::vector<Case> cases = {
        {{"--depth", "inverse"}, "inverse", {}, {"--depth", "inverse"}},
        {{"--depth", "normalized:0.5:20"},
         "normalized:0.5:20",
         {},
         {"--depth", "normalized:0.5:20"}},
        {{"--depth", "z"}, nullptr, {}, {}},
        {{"--depth", "inverse"}, "inverse", {"--depth", "z"}, {}},
        {{"--depth", "inverse"}, "inverse", {"--depth", "distance"}, {"--depth", "distance"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.saving.back() + " " + fmt::format("{}", fmt::join(c.given, " ")));
        std::vector<std::string> saving = with(c.saving);
        saving.insert(saving.end(), {"--save-settings", Folder.path("look.json")});
        renderWith(saving, "saved.exr");
        std::ifstream file(Folder.path("look.json"));
        const auto json = nlohmann::json::parse(file);
        EXPECT_EQ(json.contains("depth") ? json.at("depth").get<std::string>() : "-",
                  c.inFile ? c.inFile : "-");
        std::vector<std::string> reading = {"--settings", Folder.path("look.json")};
        reading.insert(reading.end(), c.given.begin(), c.given.end());
        const FileData fromFile = renderWith(reading, "file.exr");
        const FileData direct = renderWith(with(c.same), "direct.exr");
        EXPECT_TRUE(sameChannelBits(direct, fromFile, direct.header.channelnames));
    }
    // Each convention renders differently here, or the cases above could not tell them apart.
    EXPECT_FALSE(sameChannelBits(renderWith(with({"--depth", "inverse"}), "a.exr"),
                                 renderWith(with({}), "b.exr"), {"R", "G", "B", "A"}));
}

TEST_F(ControlSetting, SettingsFileMistakesNameTheFileAndKey) {
    struct Case {
        std::string text;
        int status;
        std::vector<std::string> message;
    };
    const std::vector<Case> cases = {
        {R"({"Matirx": 8})", 2, {"look.json", "Matirx", "did you mean 'Matrix'?"}},
        {R"({"Matrix": "eight"})", 2, {"look.json", "Matrix", "'eight' is not a number"}},
        {R"({"Amount": [1]})", 2, {"look.json", "Amount", "[1] is not a number"}},
        {R"({"About": 1})", 2, {"look.json", "About", "not a value"}},
        {R"({"depth": "zed"})", 2, {"look.json", "depth", "--depth zed"}},
        {R"({"depth": "normalized:5:1"})", 2, {"look.json", "depth", "NEAR must be less"}},
        {R"({"depth": 1})", 2, {"look.json", "depth", "1 is not a depth convention"}},
        {R"({"Depth": "inverse"})", 2, {"look.json", "no control 'Depth'"}},
        {R"([16])", 2, {"look.json", "JSON object"}},
        {R"({"Matrix": 8)", 2, {"look.json", "JSON object", "parse error"}},
        // The parser's recursion once overflowed the stack here.
        {R"({"Matrix": )" + std::string(50'000, '[') + std::string(50'000, ']') + "}",
         2,
         {"look.json", "nested more than 64 deep"}},
        {R"({"Matrix": 8, "Amount": 0.1, "Matrix": 9})", 2, {"look.json", "Matrix", "twice"}},
        {R"({"DepthThreshold": 2e308})", 2, {"look.json", "JSON object", "2e308"}},
        {R"({"Matrix": ")" + std::string(100'000, 'x') + R"("})",
         2,
         {"look.json", "Matrix", "xxx...", "100000 bytes"}},
        {"{}" + std::string(2 << 20, ' '), 2, {"look.json", "more than a settings file holds"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        std::ofstream(Folder.path("look.json")) << c.text;
        const Outcome run =
            inProcess({"render", Folder.path("in.exr"), "-o", Folder.path("out.exr"), "--settings",
                       Folder.path("look.json")});
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(isMessage(run.err, c.message));
        EXPECT_LT(run.err.size(), 1000u) << "the message quotes too much of the file";
    }
    // Only a regular file is read: a pipe nobody writes to once made the program wait forever.
    ASSERT_EQ(mkfifo(Folder.path("pipe.json").c_str(), 0600), 0);
    for (const auto& [path, cause] : {std::pair{Folder.path("pipe.json"), "not a regular file"},
                                      std::pair{Folder.path(""), "it is a folder"}}) {
        const Outcome run =
            runProgram("/usr/bin/timeout", {"60", UMBRIX_PROGRAM, "render", Folder.path("in.exr"),
                                            "-o", Folder.path("out.exr"), "--settings", path});
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_TRUE(isMessage(run.err, {path, cause}));
    }
    const Outcome missing =
        inProcess({"render", Folder.path("in.exr"), "-o", Folder.path("out.exr"), "--settings",
                   Folder.path("none.json")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(isMessage(missing.err, {"none.json", "No such file"}));
    EXPECT_EQ(Folder.entries(), (std::vector<std::string>{"in.exr", "look.json", "pipe.json"}));
}

} // namespace
} // namespace apptest
