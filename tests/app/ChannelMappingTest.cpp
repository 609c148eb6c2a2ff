// How file channels reach the tool: by name to the tool's channel numbers, --map overriding.

#include "tests/app/ProgramTest.h"

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace apptest {
namespace {

const std::vector<Setting>& OcclusionSettings = occlusionWithNormals();

class ChannelMapping : public ProgramTest {
  protected:
    // Renders `source` through the program, and in-process with each file channel at the number
    // `numbers` gives for its name. The output must list R G B A (or the file channels at 0-3; a
    // name a carried channel has taken is prefixed "umbrix.") and then the file's other channels
    // in the order the file lists them, each equal to the bit to the in-process result at its
    // number.
    void expectMapped(const FileData& source, const std::map<std::string, int>& numbers,
                      const std::vector<std::string>& extraArgs = {}) {
        writeFile(Folder.path("in.exr"), source);
        std::vector<std::string> args = {"render", Folder.path("in.exr"), "-o",
                                         Folder.path("out.exr"), "--quiet"};
        for (const auto& list : {setArguments(OcclusionSettings), extraArgs})
            args.insert(args.end(), list.begin(), list.end());
        const Outcome run = inProcess(args);
        ASSERT_EQ(run.status, 0) << run.err;
        const FileData out = readFile(Folder.path("out.exr"));
        const FileData in = readFile(Folder.path("in.exr"));
        std::vector<int> inNumbers;
        for (const std::string& name : in.header.channelnames)
            inNumbers.push_back(numbers.at(name));
        const minihost::ImagePtr expected = renderInProcess(in, inNumbers, OcclusionSettings);
        ASSERT_TRUE(expected);
        std::vector<std::string> names;
        for (std::string colour : {"R", "G", "B", "A"})
            names.push_back(numbers.count(colour) == 0 ? colour : "umbrix." + colour);
        std::vector<int> order = {0, 1, 2, 3};
        for (const std::string& name : in.header.channelnames) {
            const int number = numbers.at(name);
            if (number < 4) {
                names[static_cast<std::size_t>(number)] = name;
            } else {
                names.push_back(name);
                order.push_back(number);
            }
        }
        // EXR keeps no channel order: readers list R G B A first, then the others by name.
        auto sorted = [](std::vector<std::string> list) {
            std::sort(list.begin(), list.end());
            return list;
        };
        ASSERT_EQ(sorted(out.header.channelnames), sorted(names));
        for (std::size_t k = 0; k < names.size(); ++k)
            for (int y = 0; y < out.header.height; ++y)
                for (int x = 0; x < out.header.width; ++x)
                    ASSERT_EQ(bits(out.at(x, y, names[k])),
                              bits(minihost::sample(*expected, x, y, order[k])))
                        << names[k] << " at (" << x << ", " << y << ")";
    }
};

using Roles = std::vector<std::pair<std::string, Role>>;

Roles usualScene(const std::string& depth, const std::vector<std::string>& normal) {
    return {{"R", Role::Colour},        {"G", Role::Colour},        {"B", Role::Colour},
            {"A", Role::Alpha},         {depth, Role::Depth},       {normal[0], Role::NormalX},
            {normal[1], Role::NormalY}, {normal[2], Role::NormalZ}, {"extra", Role::Other}};
}

std::map<std::string, int> usualNumbers(const std::string& depth,
                                        const std::vector<std::string>& normal) {
    return {{"R", 0},        {"G", 1},        {"B", 2},        {"A", 3},     {depth, 4},
            {normal[0], 10}, {normal[1], 11}, {normal[2], 12}, {"extra", 13}};
}

// By name: the usual names and their other spellings, in any order; a name of no role, or a
// second depth, carried from 13 up. --map puts a channel at a number or a role, colour included.
TEST_F(ChannelMapping, FileChannelsReachTheirNumbers) {
    struct Case {
        std::string label;
        Roles roles;
        std::map<std::string, int> numbers;
        std::vector<std::string> args;
    };
    std::vector<Case> cases = {
        {"usual names",
         usualScene("Z", {"N.X", "N.Y", "N.Z"}),
         usualNumbers("Z", {"N.X", "N.Y", "N.Z"}),
         {}},
        {"any order",
         {{"N.Z", Role::NormalZ},
          {"B", Role::Colour},
          {"other", Role::Other},
          {"Z", Role::Depth},
          {"A", Role::Alpha},
          {"N.X", Role::NormalX},
          {"R", Role::Colour},
          {"N.Y", Role::NormalY},
          {"G", Role::Colour},
          {"last", Role::Other}},
         {{"N.Z", 12},
          {"B", 2},
          {"other", 13},
          {"Z", 4},
          {"A", 3},
          {"N.X", 10},
          {"R", 0},
          {"N.Y", 11},
          {"G", 1},
          {"last", 14}},
         {}},
        {"unknown names",
         {{"Z", Role::Depth},
          {"zeta", Role::Other},
          {"alpha", Role::Other},
          {"Normal", Role::Other}},
         {{"Z", 4}, {"zeta", 13}, {"alpha", 14}, {"Normal", 15}},
         {}},
        {"second depth",
         {{"Z", Role::Depth}, {"depth.Z", Role::Other}},
         {{"Z", 4}, {"depth.Z", 13}},
         {}},
        {"colour mapped away",
         {{"R", Role::Colour}, {"G", Role::Colour}, {"Z", Role::Depth}, {"mask", Role::Alpha}},
         {{"R", 20}, {"G", 1}, {"Z", 4}, {"mask", 3}},
         {"--map", "R=20", "--map", "mask=3"}},
        {"no colour", {{"Z", Role::Depth}}, {{"Z", 4}}, {}}};
    for (const char* depth : {"depth.Z", "Depth.Z", "beauty.Depth.Z"})
        cases.push_back({depth,
                         usualScene(depth, {"N.X", "N.Y", "N.Z"}),
                         usualNumbers(depth, {"N.X", "N.Y", "N.Z"}),
                         {}});
    for (const std::vector<std::string>& normal :
         std::vector<std::vector<std::string>>{{"N.x", "N.y", "N.z"},
                                               {"N.R", "N.G", "N.B"},
                                               {"Normal.X", "Normal.Y", "Normal.Z"},
                                               {"cam.Normal.X", "cam.Normal.Y", "cam.Normal.Z"}})
        cases.push_back({normal[0], usualScene("Z", normal), usualNumbers("Z", normal), {}});
    for (const std::vector<std::string>& targets :
         {std::vector<std::string>{"4", "10", "11", "12"},
          std::vector<std::string>{"depth", "normal.x", "Normal.Y", " NORMAL.Z"}})
        cases.push_back(
            {"--map to " + targets.front(),
             {{"R", Role::Colour},
              {"Z", Role::Other},
              {"P.depth", Role::Depth},
              {"nrm.x", Role::NormalX},
              {"nrm.y", Role::NormalY},
              {"nrm.z", Role::NormalZ}},
             {{"R", 0}, {"Z", 13}, {"P.depth", 4}, {"nrm.x", 10}, {"nrm.y", 11}, {"nrm.z", 12}},
             {"--map", "P.depth=" + targets[0], "--map", "nrm.x=" + targets[1], "--map",
              "nrm.y=" + targets[2], "--map", "nrm.z=" + targets[3]}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        expectMapped(sceneFile(12, 9, c.roles), c.numbers, c.args);
    }
}

TEST_F(ChannelMapping, MissingDepthRendersWithOneWarningNamingMap) {
    const FileData source = sceneFile(10, 8, {{"R", Role::Colour}, {"height", Role::Depth}});
    writeFile(Folder.path("in.exr"), source);
    const Outcome run = inProcess({"render", Folder.path("in.exr"), "-o", Folder.path("out.exr")});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto warning = run.err.substr(0, run.err.find('\n'));
    EXPECT_TRUE(isMessage(warning, {"warning", "in.exr", "no depth", "it has R height", "--map"}));
    EXPECT_EQ(run.err.find("warning", warning.size()), std::string::npos) << run.err;
    expectMapped(source, {{"R", 0}, {"height", 13}});
}

// A second channel that could have been the depth or the normal is named, as is the way to pick it;
// none is when --map has picked.
TEST_F(ChannelMapping, SecondCandidatesAreWarnedOf) {
    struct Case {
        Roles roles;
        std::vector<std::string> map;
        std::vector<std::string> warning; // empty: none
    };
    const std::vector<Case> cases = {
        {{{"Z", Role::Depth}, {"depth.Z", Role::Other}},
         {},
         {"in.exr", "Z and depth.Z", "using Z, ignoring depth.Z", "--map depth.Z=depth"}},
        {{{"a.Depth.Z", Role::Depth}, {"b.Depth.Z", Role::Other}},
         {},
         {"using a.Depth.Z, ignoring b.Depth.Z", "--map b.Depth.Z=depth"}},
        {{{"Z", Role::Depth},
          {"N.X", Role::NormalX},
          {"N.Y", Role::NormalY},
          {"N.Z", Role::NormalZ},
          {"Normal.X", Role::Other},
          {"Normal.Y", Role::Other},
          {"Normal.Z", Role::Other}},
         {},
         {"normal", "using N.X N.Y N.Z, ignoring Normal.X Normal.Y Normal.Z",
          "--map Normal.X=normal.x --map Normal.Y=normal.y --map Normal.Z=normal.z"}},
        {{{"Z", Role::Other}, {"depth.Z", Role::Depth}}, {"--map", "depth.Z=depth"}, {}},
        {{{"Z", Role::Depth}, {"zeta", Role::Other}}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.roles[1].first);
        writeFile(Folder.path("in.exr"), sceneFile(6, 5, c.roles));
        std::vector<std::string> args = {"render", Folder.path("in.exr"), "-o",
                                         Folder.path("out.exr"), "-q"};
        args.insert(args.end(), c.map.begin(), c.map.end());
        const Outcome run = inProcess(args);
        ASSERT_EQ(run.status, 0) << run.err;
        if (c.warning.empty()) {
            EXPECT_EQ(run.err, "");
            continue;
        }
        std::vector<std::string> parts = {"warning"};
        parts.insert(parts.end(), c.warning.begin(), c.warning.end());
        EXPECT_TRUE(isMessage(run.err, parts));
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}

// Occlusion compared with the file's normals where there are none reads zeros: the run says so, and
// how to do otherwise.
TEST_F(ChannelMapping, MissingSuppliedNormalsAreWarnedOfWhereOcclusionReadsThem) {
    const Roles depthOnly = {{"Z", Role::Depth}};
    const Roles partly = {{"Z", Role::Depth}, {"N.X", Role::NormalX}, {"N.Y", Role::NormalY}};
    const Roles whole = usualScene("Z", {"N.X", "N.Y", "N.Z"});
    const std::vector<std::tuple<Roles, std::vector<std::string>, bool>> cases = {
        {depthOnly, {"UseSSAO=1"}, true},
        {partly, {"UseSSAO=1", "FilterMethod=Rendered Normals"}, true},
        {depthOnly, {}, false},
        {depthOnly, {"UseSSAO=1", "FilterMethod=Calculated Normals"}, false},
        {depthOnly, {"UseSSAO=1", "FilterMethod=disabled"}, false},
        {whole, {"UseSSAO=1"}, false}};
    for (const auto& [roles, settings, warned] : cases) {
        SCOPED_TRACE(roles.back().first + (settings.empty() ? "" : " " + settings.back()));
        writeFile(Folder.path("in.exr"), sceneFile(6, 5, roles));
        std::vector<std::string> args = {
            "render", Folder.path("in.exr"), "-o", Folder.path("out.exr"), "--set", "Matrix=2"};
        for (const std::string& setting : settings)
            args.insert(args.end(), {"--set", setting});
        const Outcome run = inProcess(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(isMessage(run.err, {"warning", "in.exr", "no supplied normals", "N.X N.Y N.Z",
                                      "FilterMethod=\"Calculated Normals\"", "--map"}),
                  warned)
            << run.err;
    }
}

TEST_F(ChannelMapping, VerboseShowsEachChannelsRoleAndEveryControl) {
    writeFile(Folder.path("in.exr"), sceneFile(6, 5, usualScene("Z", {"N.X", "N.Y", "N.Z"})));
    const Outcome run =
        inProcess({"render", Folder.path("in.exr"), "-o", Folder.path("out.exr"), "-v", "--set",
                   "Matrix=7", "--map", "extra=normal.z", "--map", "N.Z=20"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* shown :
         {"R -> normal z (result) (0)", "A -> occlusion (result) (3)", "Z -> depth (4)",
          "N.X -> normal.x (10)", "extra -> normal.z (12)", "N.Z -> carried (20)",
          "UseSSAO = 0 (off)", "FilterMethod = 0 (Rendered Normals)", "Matrix = 7", "CamFOV = 45"})
        EXPECT_NE(run.err.find(shown), std::string::npos) << shown << " in " << run.err;
    EXPECT_EQ(inProcess({"render", Folder.path("in.exr"), "-o", Folder.path("out.exr"), "-q"}).err,
              "");
}

} // namespace
} // namespace apptest
