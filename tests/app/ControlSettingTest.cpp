// --set: values reach the tool as typed, by identifier; mistakes are usage errors.

#include "tests/app/ProgramTest.h"

#include <string>
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
        const Outcome run = umbrix(args);
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
        return umbrix(
            {"render", Folder.path("in.exr"), "-o", Folder.path("bad.exr"), "--set", setting});
    }

    FileData Source;
};

TEST_F(ControlSetting, SwitchesOffLeaveTheOutputAsTheToolMadeIt) {
    const FileData out = renderWith({"--set", "UseNormals=0"}, "out.exr");
    for (float value : out.pixels)
        ASSERT_EQ(bits(value), 0u);
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

TEST_F(ControlSetting, NumbersAsStrtodReadsThem) {
    expectReachesTool({{"UseSSAO", "nan"}, {"Matrix", "0x1.8p1"}, {"DepthThreshold", "inf"}});
    expectReachesTool({{"UseSSAO", "1e0"}, {"Amount", "-.5E-1"}, {"SmalDepth", "INFINITY"}});
}

TEST_F(ControlSetting, ComboTakesEntryNames) {
    const std::vector<std::string> occlusion = {"--set", "UseSSAO=1", "--set", "Matrix=3"};
    auto with = [&](const std::string& method, const std::string& name) {
        std::vector<std::string> args = occlusion;
        args.insert(args.end(), {"--set", "FilterMethod=" + method});
        return renderWith(args, name);
    };
    const FileData byName = with("Calculated Normals", "name.exr");
    const FileData anyCase = with("calculated normals", "case.exr");
    const FileData byIndex = with("1", "index.exr");
    const FileData disabled = with("disabled", "disabled.exr");
    const FileData two = with("2", "two.exr");
    EXPECT_TRUE(sameChannelBits(byIndex, byName, {"A"}));
    EXPECT_TRUE(sameChannelBits(byIndex, anyCase, {"A"}));
    EXPECT_TRUE(sameChannelBits(two, disabled, {"A"}));
    EXPECT_FALSE(sameChannelBits(byIndex, disabled, {"A"}));
}

TEST_F(ControlSetting, UnknownIdentifierIsAUsageErrorWithASuggestion) {
    const Outcome run = failing("Matirx=8");
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(isMessage(run.err, {"Matirx", "did you mean 'Matrix'?"}));
    EXPECT_TRUE(isMessage(failing("Small depth=1").err, {"did you mean 'SmalDepth'?"}));
    EXPECT_TRUE(isMessage(failing("usessao=1").err, {"did you mean 'UseSSAO'?"}));
    EXPECT_EQ(failing("Frobnicate=1").status, 2);
    EXPECT_EQ(Folder.entries(), std::vector<std::string>{"in.exr"});
}

TEST_F(ControlSetting, AnythingAfterTheNumberIsAUsageError) {
    for (const char* text : {"Matrix=8x", "Matrix=", "Matrix= ", "Matrix=8 ", "Matrix=one",
                             "FilterMethod=Calculated", "Matrix"}) {
        SCOPED_TRACE(text);
        const Outcome run = failing(text);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(isMessage(run.err, {"--set"}));
    }
    EXPECT_EQ(Folder.entries(), std::vector<std::string>{"in.exr"});
}

TEST_F(ControlSetting, ButtonAndImageInputAreNotValues) {
    EXPECT_EQ(failing("About=1").status, 2);
    EXPECT_EQ(failing("Input=1").status, 2);
}

} // namespace
} // namespace apptest
