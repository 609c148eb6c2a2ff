// The core API in-process: what every face (command line, look page, Python) calls.

#include "app/Failure.h"
#include "app/core/FrameSource.h"
#include "app/core/Output.h"
#include "app/core/PlaneSamples.h"
#include "app/core/RenderWarnings.h"
#include "app/core/StageFailures.h"
#include "app/core/StoredLook.h"
#include "app/core/Tool.h"
#include "tests/app/ExrFiles.h"
#include "tests/app/ProgramTest.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace apptest {
namespace {

using umbrix::ControlValues;
using umbrix::Warning;

class CoreApi : public ::testing::Test {
  protected:
    ScratchFolder Folder;
    std::unique_ptr<umbrix::Tool> TheTool;

    void SetUp() override { TheTool = std::make_unique<umbrix::Tool>(UMBRIX_PLUGIN_PATH); }
    void TearDown() override { TheTool.reset(); }

    ControlValues values(const std::vector<std::string>& settings) const {
        ControlValues values = TheTool->defaults();
        for (const std::string& text : settings)
            values.applySetting(text);
        return values;
    }

    std::shared_ptr<umbrix::Frame> loaded(const std::string& name, const FileData& data) {
        const std::string path = Folder.path(name);
        writeFile(path, data);
        std::shared_ptr<umbrix::Frame> frame = umbrix::openFrame(path, umbrix::OpenOptions{});
        umbrix::loadFrame(*frame);
        return frame;
    }

    std::vector<std::uint32_t> renderedBits(std::shared_ptr<const umbrix::Frame> frame,
                                            const ControlValues& values) const {
        std::vector<std::uint32_t> result;
        for (float sample : umbrix::resultPixels(TheTool->render(std::move(frame), values)))
            result.push_back(bits(sample));
        return result;
    }
};

const std::vector<std::string> Occlusion = {"UseSSAO=1", "Matrix=3", "DepthThreshold=2"};
const std::vector<std::string> CalculatedOcclusion = {"UseSSAO=1", "Matrix=2",
                                                      "FilterMethod=Calculated Normals"};

std::vector<std::string> textsOf(const umbrix::Warnings& warnings) {
    std::vector<std::string> texts;
    for (const Warning& warning : warnings)
        texts.push_back(warning.text);
    return texts;
}

TEST_F(CoreApi, ChannelWarningsComeAsDataWithTheCommandLinesTexts) {
    struct Case {
        const char* what;
        std::vector<std::string> channels;
        std::vector<std::string> maps;
        std::vector<std::string> settings;
        std::vector<Warning::Kind> kinds;
        const char* text; // of the first warning, "%" for the file's path
    };
    const std::vector<Case> cases = {
        {"no depth",
         {"R", "G", "B", "A"},
         {},
         {},
         {Warning::Kind::NoDepth},
         "% has no depth channel (Z, depth.Z, Depth.Z or *.Depth.Z; it has A B G R): depth reads "
         "as 0 everywhere. Name one with --map NAME=depth"},
        {"rendered normals missing",
         {"Z"},
         {},
         {"UseSSAO=1"},
         {Warning::Kind::NoSuppliedNormals},
         nullptr},
        {"calculated normals need none", {"Z"}, {}, {"UseSSAO=1", "FilterMethod=1"}, {}, nullptr},
        {"two depths",
         {"Z", "depth.Z"},
         {},
         {},
         {Warning::Kind::DepthPassedOver},
         "%: Z and depth.Z could both be the depth; using Z, ignoring depth.Z (pick with --map "
         "depth.Z=depth)"},
        {"two depths, one picked", {"Z", "depth.Z"}, {"depth.Z=depth"}, {}, {}, nullptr},
        {"depth under another name", {"P.depth"}, {"P.depth=depth"}, {}, {}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Folder.path(std::string(c.what) + ".exr");
        writeFile(path, makeFile(3, 2, c.channels, [](int x, int y, int k) {
                      return static_cast<float>(x + 3 * y + k);
                  }));
        const auto frame = umbrix::openFrame(path, {std::nullopt, c.maps, std::nullopt});
        EXPECT_FALSE(frame->image) << "opening reads no pixel";
        EXPECT_EQ(frame->windows.width, 3);
        const umbrix::Warnings warnings = umbrix::channelWarnings(*frame, path, values(c.settings));
        std::vector<Warning::Kind> kinds;
        for (const Warning& warning : warnings)
            kinds.push_back(warning.kind);
        EXPECT_EQ(kinds, c.kinds) << ::testing::PrintToString(textsOf(warnings));
        if (c.text && !warnings.empty()) {
            std::string expected = c.text;
            for (std::size_t at; (at = expected.find('%')) != std::string::npos;)
                expected.replace(at, 1, path);
            EXPECT_EQ(warnings.front().text, expected);
        }
    }
}

TEST_F(CoreApi, ControlWarningsComeAsData) {
    struct Case {
        std::vector<std::string> settings;
        std::vector<Warning::Kind> kinds;
        const char* text;
    };
    const std::vector<Case> cases = {
        {{}, {}, nullptr},
        {{"UseNormals=0"},
         {Warning::Kind::BothPassesOff},
         "UseNormals and UseSSAO are both off: the tool writes nothing, so the output will be all "
         "zeros, every channel"},
        {{"CamFOV=0"},
         {Warning::Kind::NormalsNaN},
         "CamFOV=0 makes every calculated normal NaN (R G B of the output)"},
        {{"NormalsZControll=nan"},
         {Warning::Kind::ControlOutOfRange, Warning::Kind::NormalsNaN},
         nullptr},
        {{"Matrix=2.5"}, {Warning::Kind::ControlOutOfRange}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.settings));
        const umbrix::Warnings warnings = umbrix::controlWarnings(values(c.settings));
        std::vector<Warning::Kind> kinds;
        for (const Warning& warning : warnings)
            kinds.push_back(warning.kind);
        EXPECT_EQ(kinds, c.kinds) << ::testing::PrintToString(textsOf(warnings));
        if (c.text && !warnings.empty()) {
            EXPECT_EQ(warnings.front().text, c.text);
        }
    }
}

// Every face composes values the same way: a settings file, then --set's texts, then values by
// name, each replacing what came before; a bool only for a switch, text as --set reads it.
TEST_F(CoreApi, ControlSourcesApplyInTurnByOneRule) {
    const std::string file = Folder.path("look.json");
    std::ofstream(file) << R"({"Matrix": 7, "Amount": 0.5, "UseSSAO": true})";
    using umbrix::GivenValue;
    const umbrix::ControlSources sources{
        file,
        {"Matrix=9", "amount=0.25"},
        {{"matrix", GivenValue{11.0, "11"}, "keyword matrix"},
         {"UseNormals", GivenValue{false, "False"}, "keyword UseNormals"},
         {"FilterMethod", GivenValue{std::string("calculated normals"), "'calculated normals'"},
          "keyword FilterMethod"}}};
    ControlValues values = TheTool->defaults();
    values.apply(sources);
    EXPECT_EQ(values["Matrix"], 11.0);
    EXPECT_EQ(values["Amount"], 0.25);
    EXPECT_EQ(values["UseSSAO"], 1.0);
    EXPECT_EQ(values["UseNormals"], 0.0);
    EXPECT_EQ(values["FilterMethod"], 1.0);

    struct Wrong {
        umbrix::NamedValue named;
        std::string message;
    };
    const Wrong wrongs[] = {
        {{"Matrix", GivenValue{true, "True"}, "keyword Matrix"},
         "keyword Matrix: True is not a number (Matrix is not a switch)"},
        {{"Amount", GivenValue{{}, "[1]"}, "settings Amount"},
         "settings Amount: [1] is not a number"},
        {{"Amount", GivenValue{std::string("six"), "'six'"}, "Amount"},
         "Amount: 'six' is not a number"},
        {{"Matrx", GivenValue{1.0, "1"}, "keyword Matrx"}, "keyword Matrx"},
    };
    for (const Wrong& wrong : wrongs) {
        ControlValues fresh = TheTool->defaults();
        try {
            fresh.apply({std::nullopt, {}, {wrong.named}});
            ADD_FAILURE() << wrong.message << ": accepted";
        } catch (const umbrix::UsageError& e) {
            EXPECT_NE(std::string(e.what()).find(wrong.message), std::string::npos) << e.what();
        }
    }
}

// A face hands on the file (and frame) a failure concerns from the error, not from its text.
TEST_F(CoreApi, FailuresCarryTheirFileAndFrame) {
    const std::string missing = Folder.path("missing.exr");
    const std::string folder = Folder.path("a folder");
    std::filesystem::create_directory(folder);
    struct Case {
        const char* what;
        std::function<void()> fail;
        std::string path;
        std::optional<int> frame;
    };
    const umbrix::Jobs jobs(Folder.path("in.####.exr"), Folder.path("out.####.exr"), std::nullopt,
                            "7-8");
    const umbrix::FrameStages reading{
        [&](std::size_t index) -> umbrix::Rendered {
            if (index == 1)
                umbrix::openFrame(jobs[index].input, umbrix::OpenOptions{});
            return {};
        },
        [](std::size_t, umbrix::Rendered&) {}, [](std::size_t, umbrix::Rendered&) {}};
    const Case cases[] = {
        {"an input that is not there", [&] { umbrix::openFrame(missing, umbrix::OpenOptions{}); },
         missing, std::nullopt},
        {"a settings file that is a folder", [&] { TheTool->defaults().applySettingsFile(folder); },
         folder, std::nullopt},
        {"a frame of a sequence",
         [&] {
             umbrix::runNamingFailures(jobs, reading, {}, Folder.path("in.####.exr"), "written");
         },
         Folder.path("in.0008.exr"), 8},
    };
    for (const Case& c : cases) {
        try {
            c.fail();
            ADD_FAILURE() << c.what << ": no failure";
        } catch (const umbrix::RunError& e) {
            EXPECT_EQ(e.path(), c.path) << c.what << ": " << e.what();
            EXPECT_EQ(e.frame(), c.frame) << c.what << ": " << e.what();
        }
    }
}

TEST_F(CoreApi, ValuesGoThroughJsonToTheBit) {
    ControlValues set = values({"Amount=0.30000000000000004", "SmalDepth=-nan", "Matrix=7"});
    ControlValues back = TheTool->defaults();
    back.applyJson(set.json(), "values");
    ASSERT_EQ(back.entries().size(), set.entries().size());
    for (std::size_t k = 0; k < set.entries().size(); ++k)
        EXPECT_EQ(std::bit_cast<std::uint64_t>(back.entries()[k].value),
                  std::bit_cast<std::uint64_t>(set.entries()[k].value))
            << set.entries()[k].info->id;
    back.applyJson(R"({"usessao": true, "FilterMethod": "Calculated Normals"})", "page");
    EXPECT_EQ(back["UseSSAO"], 1.0);
    EXPECT_EQ(back["FilterMethod"], 1.0);
    EXPECT_THROW(back.applyJson(R"({"Matrx": 3})", "page"), umbrix::UsageError);
    EXPECT_THROW(back.applyJson("[1]", "page"), umbrix::UsageError);
    EXPECT_THROW(back.setText("UseSSAO", "maybe", "page"), umbrix::UsageError);
}

// One loaded frame rendered with other values gives what a fresh load and tool give each time.
TEST_F(CoreApi, ALoadedFrameRendersAgainAsFresh) {
    const FileData scene = sceneFile(24, 16, usualChannels());
    const auto frame = loaded("scene.exr", scene);
    const std::vector<std::vector<std::string>> looks = {Occlusion, CalculatedOcclusion, {}};
    std::vector<std::vector<std::uint32_t>> again;
    for (const auto& look : looks)
        again.push_back(renderedBits(frame, values(look)));
    for (std::size_t k = 0; k < looks.size(); ++k) {
        TheTool = std::make_unique<umbrix::Tool>(UMBRIX_PLUGIN_PATH);
        EXPECT_EQ(again[k], renderedBits(loaded("fresh.exr", scene), values(looks[k])))
            << ::testing::PrintToString(looks[k]);
    }
    EXPECT_NE(again[0], again[1]);
}

// Python's arrays: depth, normals and R G B A as planes give the bits of the same scene in a file.
TEST_F(CoreApi, AFrameFromMemoryRendersAsTheSameFile) {
    const int width = 20, height = 12;
    const FileData scene = sceneFile(width, height, usualChannels());
    std::vector<float> depth, normal, rgba;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            depth.push_back(scene.at(x, y, "Z"));
            for (const char* name : {"N.X", "N.Y", "N.Z"})
                normal.push_back(scene.at(x, y, name));
            for (const char* name : {"R", "G", "B", "A"})
                rgba.push_back(scene.at(x, y, name));
        }
    const auto file = loaded("scene.exr", scene);
    const auto memory = umbrix::frameFromMemory({width, height, depth, normal, rgba});
    for (const auto& look : {Occlusion, CalculatedOcclusion})
        EXPECT_EQ(renderedBits(memory, values(look)), renderedBits(file, values(look)));
    EXPECT_EQ(umbrix::sourcePixels(*memory, {umbrix::DepthChannel}), depth);
    EXPECT_EQ(umbrix::sourcePixels(*memory, {0, 1, 2, 3}), rgba);
    const auto depthOnly = umbrix::frameFromMemory({width, height, depth, {}, {}});
    EXPECT_EQ(umbrix::sourcePixels(*depthOnly, {3, 10}),
              std::vector<float>(2 * static_cast<std::size_t>(width * height), 0.0f));
    EXPECT_THROW(umbrix::frameFromMemory({width, height, depth, {}, depth}), umbrix::UsageError);
    EXPECT_THROW(umbrix::frameFromMemory({0, height, {}, {}, {}}), umbrix::UsageError);
}

TEST_F(CoreApi, ConcurrentRendersEqualSequentialOnes) {
    umbrix::useThreads(2);
    const auto frame = loaded("scene.exr", sceneFile(32, 24, usualChannels()));
    const ControlValues first = values(Occlusion);
    const ControlValues second = values(CalculatedOcclusion);
    const auto expectedFirst = renderedBits(frame, first);
    const auto expectedSecond = renderedBits(frame, second);
    for (int round = 0; round < 4; ++round) {
        std::vector<std::uint32_t> a, b;
        std::thread other([&] { b = renderedBits(frame, second); });
        a = renderedBits(frame, first);
        other.join();
        EXPECT_EQ(a, expectedFirst);
        EXPECT_EQ(b, expectedSecond);
    }
    umbrix::useThreads(0);
}

// Writing a result with both passes off writes carried channels as zeros without zeroing the
// source's: a later result of the same source carries them again.
TEST_F(CoreApi, WritingAResultKeepsTheSource) {
    auto channels = usualChannels();
    channels.emplace_back("id", Role::Other);
    const FileData scene = sceneFile(16, 8, channels);
    const auto frame = loaded("scene.exr", scene);
    const std::string out = Folder.path("out.exr");
    for (const bool passes : {false, true}) {
        SCOPED_TRACE(passes);
        const ControlValues look = values({passes ? "UseNormals=1" : "UseNormals=0"});
        umbrix::Rendered result = TheTool->render(frame, look);
        umbrix::writeResult(out, umbrix::formatOf(out), result, {}, look);
        const FileData written = readFile(out);
        EXPECT_EQ(bits(written.at(5, 4, "id")), bits(passes ? scene.at(5, 4, "id") : 0.0f));
        const std::vector<float> pixels = umbrix::resultPixels(result);
        EXPECT_EQ(bits(written.at(5, 4, "B")), bits(pixels[(5 + 4 * 16) * 4 + 2]));
    }
}

// A plane read for display gives what OpenEXR gives for each pixel, wherever and however the frame
// keeps it: float in the tool's image, half carried, a subsampled plane per 2x2 pixels, uint.
TEST_F(CoreApi, PlanesReadForDisplayAsTheFileHoldsThem) {
    ExrPart part = exrPart(6, 4, {2, 4});
    const auto value = [](int x, int y) { return 0.1 * x - 0.37 * y + 1.0 / 3.0; };
    addChannel(part, "Z", Imf::FLOAT, [](int x, int y) { return 1.0 + x + y; });
    addChannel(part, "R", Imf::HALF, value);
    addChannel(part, "mask", Imf::HALF, value);
    addSampledChannel(part, "chroma", Imf::HALF, 2, value);
    addSampledChannel(part, "wide", Imf::FLOAT, 2, value);
    addChannel(part, "id", Imf::UINT, [](int x, int y) { return 7 * x + y; });
    const std::string path = Folder.path("planes.exr");
    writeExrFile(path, {part});
    std::shared_ptr<umbrix::Frame> frame = umbrix::openFrame(path, umbrix::OpenOptions{});
    umbrix::loadFrame(*frame);
    for (const ExrChannel& channel : part.channels) {
        SCOPED_TRACE(channel.name);
        const auto samples = umbrix::PlaneSamples::of(*frame, channel.name);
        ASSERT_TRUE(samples);
        const int columns = (part.width() + channel.xSampling - 1) / channel.xSampling;
        for (int y = 0; y < part.height(); ++y)
            for (int x = 0; x < part.width(); ++x) {
                const std::size_t at = static_cast<std::size_t>(y / channel.ySampling * columns +
                                                                x / channel.xSampling);
                EXPECT_EQ(bits(samples->at(x, y)),
                          bits(sampleValue(channel.type, channel.bits[at])))
                    << x << ", " << y;
            }
    }
    EXPECT_FALSE(umbrix::PlaneSamples::of(*frame, "none"));
    EXPECT_EQ(umbrix::PlaneSamples::depth(*frame).at(3, 2), 6.0f);
}

// A file the program wrote gives back the look it was rendered with, to the bit; a stored value
// that is none for the tool (another version's control, a word no control takes, a button) is
// left out with a warning naming the file and attribute.
TEST_F(CoreApi, AFileGivesBackTheLookStoredInIt) {
    const auto frame = loaded("scene.exr", sceneFile(16, 8, usualChannels()));
    const ControlValues look = values({"UseSSAO=1", "Matrix=9", "Amount=0.1", "CamFOV=nan"});
    umbrix::Rendered result = TheTool->render(frame, look);
    const std::string out = Folder.path("out.exr");
    umbrix::writeResult(out, umbrix::formatOf(out), result, {}, look);
    std::shared_ptr<umbrix::Frame> written = umbrix::openFrame(out, umbrix::OpenOptions{});
    umbrix::loadFrame(*written);
    ControlValues back = TheTool->defaults();
    const umbrix::StoredLook stored = umbrix::applyStoredLook(*written, back);
    EXPECT_EQ(back.json(), look.json());
    EXPECT_TRUE(stored.warnings.empty());
    EXPECT_EQ(stored.applied, look.entries().size() - 1); // every control but the button

    FileData odd = sceneFile(8, 4, usualChannels());
    odd.header.attribute("umbrix:Matrix", "lots");
    odd.header.attribute("umbrix:Radius2", 3.0f);
    odd.header.attribute("umbrix:About", 1);
    odd.header.attribute("umbrix:UseSSAO", "on");
    const double amount = 0.25;
    odd.header.attribute("umbrix:Amount", OIIO::TypeDesc::DOUBLE, &amount);
    ControlValues taken = TheTool->defaults();
    const umbrix::StoredLook partial = umbrix::applyStoredLook(*loaded("odd.exr", odd), taken);
    EXPECT_EQ(partial.applied, 2U);
    EXPECT_EQ(taken["UseSSAO"], 1.0);
    EXPECT_EQ(taken["Amount"], 0.25);
    EXPECT_EQ(taken["Matrix"], TheTool->defaults()["Matrix"]);
    const std::vector<std::string> texts = textsOf(partial.warnings);
    ASSERT_EQ(texts.size(), 3U);
    for (const char* attribute :
         {"umbrix:Matrix: 'lots' is not a number", "umbrix:Radius2", "umbrix:About"})
        EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [&](const std::string& text) {
            return text.find(Folder.path("odd.exr") + ": " + attribute) == 0;
        })) << attribute;
}

} // namespace
} // namespace apptest
