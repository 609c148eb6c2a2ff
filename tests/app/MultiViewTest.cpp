// Multi-view EXR files: every view rendered from its own channels, to the bit what rendering a file
// of that view alone gives, under the view's names; the rest carried.

#include "app/Console.h"
#include "app/Failure.h"
#include "app/core/RenderPlan.h"
#include "app/core/RenderStages.h"
#include "app/core/Tool.h"
#include "tests/app/ExrFiles.h"
#include "tests/app/ProgramTest.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace apptest {
namespace {

// Four views, each naming its channels another way: the default view's unprefixed, right's with
// the view first (right.N.X), centre's as OpenEXR's layer.view.channel (depth.centre.Z), and far
// without depth. Centre's depth lies within [0, 1] and its normal has no z, both of which draw a
// warning naming the view. Each channel: its name in the file, its name within its view, its type.
struct ViewChannel {
    const char* file;
    const char* local;
    Imf::PixelType type;
};
const std::vector<std::pair<std::string, std::vector<ViewChannel>>>& stereoViews() {
    static const std::vector<std::pair<std::string, std::vector<ViewChannel>>> views = {
        {"left",
         {{"R", "R", Imf::FLOAT},
          {"G", "G", Imf::FLOAT},
          {"B", "B", Imf::FLOAT},
          {"A", "A", Imf::HALF},
          {"Z", "Z", Imf::FLOAT},
          {"N.X", "N.X", Imf::HALF},
          {"N.Y", "N.Y", Imf::HALF},
          {"N.Z", "N.Z", Imf::HALF}}},
        {"right",
         {{"right.R", "R", Imf::HALF},
          {"right.G", "G", Imf::FLOAT},
          {"right.B", "B", Imf::FLOAT},
          {"right.A", "A", Imf::FLOAT},
          {"right.Z", "Z", Imf::HALF},
          {"right.N.X", "N.X", Imf::FLOAT},
          {"right.N.Y", "N.Y", Imf::FLOAT},
          {"right.N.Z", "N.Z", Imf::FLOAT}}},
        {"centre",
         {{"centre.R", "R", Imf::FLOAT},
          {"centre.G", "G", Imf::FLOAT},
          {"centre.B", "B", Imf::FLOAT},
          {"depth.centre.Z", "depth.Z", Imf::FLOAT},
          {"N.centre.X", "N.X", Imf::FLOAT},
          {"N.centre.Y", "N.Y", Imf::FLOAT}}},
        {"far",
         {{"far.R", "R", Imf::FLOAT},
          {"far.G", "G", Imf::FLOAT},
          {"far.B", "B", Imf::FLOAT},
          {"far.A", "A", Imf::FLOAT}}},
    };
    return views;
}

// Distinct in every view; depth with slopes and a step that occlusion sees.
double viewValue(const std::string& local, int view, int x, int y) {
    if (local == "depth.Z")
        return 0.05 + 0.01 * x + 0.002 * y * y + (x >= 5 ? 0.3 : 0.0);
    if (local == "Z")
        return 2.0 + 0.25 * view + 0.1 * x + 0.05 * y * y + (x >= 5 ? 1.5 : 0.0);
    if (local == "N.X")
        return 0.6 * std::sin(0.3 * x + view);
    if (local == "N.Y")
        return 0.6 * std::cos(0.2 * y + view);
    if (local == "N.Z")
        return 0.5 + 0.01 * x;
    return 0.1 * (x + 1) + 0.01 * y + 0.2 * view + static_cast<double>(local[0]) / 100.0;
}

constexpr int Width = 12;
constexpr int Height = 8;

void writeStereo(const std::string& path) {
    ExrPart part = exrPart(Width, Height);
    part.multiView = {"left", "right", "centre", "far"};
    for (std::size_t v = 0; v < stereoViews().size(); ++v)
        for (const ViewChannel& channel : stereoViews()[v].second)
            addChannel(part, channel.file, channel.type, [&](int x, int y) {
                return viewValue(channel.local, static_cast<int>(v), x, y);
            });
    // Channels of no view's roles: carried.
    addChannel(part, "id", Imf::UINT, [](int x, int y) { return x + 10 * y; });
    addChannel(part, "right.mask", Imf::FLOAT, [](int x, int y) { return 0.5 * x - y; });
    writeExrFile(path, {part});
}

// View `view`'s channels under their names within it, as a file of that view alone holds them.
// Parts of a file share one display window.
ExrPart alonePart(std::size_t view, Imath::V2i origin = {0, 0}) {
    ExrPart part = exrPart(Width, Height, origin);
    part.displayWindow = Imath::Box2i({0, 0}, {Width - 1, Height - 1});
    for (const ViewChannel& channel : stereoViews()[view].second)
        addChannel(part, channel.local, channel.type, [&](int x, int y) {
            return viewValue(channel.local, static_cast<int>(view), x, y);
        });
    return part;
}

void writeAlone(const std::string& path, std::size_t view) {
    writeExrFile(path, {alonePart(view)});
}

// Origins of the views' parts in a file of a part per view: their data windows differ.
const Imath::V2i PartOrigins[] = {{0, 0}, {3, -2}, {1, 1}, {0, 0}};

// The same views, a part each under the view's name with a `view` attribute, between them a part
// of no view; the right view also has a part without depth before the one with it.
void writeStereoParts(const std::string& path) {
    std::vector<ExrPart> parts;
    for (std::size_t v = 0; v < stereoViews().size(); ++v) {
        if (v == 1) {
            ExrPart matte = exrPart(Width, Height);
            matte.name = "right.matte";
            matte.view = "right";
            addChannel(matte, "matte", Imf::HALF, [](int x, int y) { return 0.1 * x * y; });
            parts.push_back(std::move(matte));
        }
        parts.push_back(alonePart(v, PartOrigins[v]));
        parts.back().name = stereoViews()[v].first;
        parts.back().view = stereoViews()[v].first;
        if (v == 0) {
            ExrPart ids = exrPart(Width, Height);
            ids.name = "ids";
            addChannel(ids, "id", Imf::UINT, [](int x, int y) { return x + 10 * y; });
            parts.push_back(std::move(ids));
        }
    }
    writeExrFile(path, parts);
}

class MultiView : public ::testing::Test {
  protected:
    ScratchFolder Folder;
    std::unique_ptr<umbrix::Tool> TheTool;
    std::vector<std::string> Warnings;
    std::vector<std::string> Messages;

    void SetUp() override {
        TheTool = std::make_unique<umbrix::Tool>(UMBRIX_PLUGIN_PATH);
        umbrix::console::setSink([this](const std::string& text, bool warning) {
            (warning ? Warnings : Messages).push_back(text);
        });
    }
    void TearDown() override {
        umbrix::console::setSink(nullptr);
        TheTool.reset();
    }

    // Far's warning that it has no depth; centre's two, its depth within [0, 1] and its normal
    // without z, each naming the view.
    void expectViewWarnings(const std::string& stereo, bool aboutFar, bool aboutCentre) {
        const std::string farWarning =
            stereo + ": view far has no depth channel; its channels are carried, not rendered";
        EXPECT_EQ(std::count(Warnings.begin(), Warnings.end(), farWarning), aboutFar);
        const std::string centre = stereo + ": view centre";
        EXPECT_EQ(std::count_if(Warnings.begin(), Warnings.end(),
                                [&](const std::string& w) {
                                    return w.starts_with(centre + ": every depth value lies within "
                                                                  "[0, 1]") ||
                                           w.starts_with(centre + " has no supplied normals");
                                }),
                  aboutCentre ? 2 : 0);
    }

    // What `umbrix render` does, in-process.
    void render(const umbrix::RenderOptions& options) {
        const umbrix::RenderPlan plan = umbrix::planRender(options);
        umbrix::ControlValues values = TheTool->defaults();
        values.apply({std::nullopt, options.settings, {}, options.depth});
        umbrix::Progress progress(umbrix::Progress::Mode::Quiet, plan.jobs.size());
        umbrix::RenderStages stages(options, plan, *TheTool, values, progress);
        const umbrix::PipelineOutcome outcome =
            umbrix::runPipeline(plan.jobs.size(), stages.stages());
        if (outcome.failure)
            std::rethrow_exception(outcome.failure);
    }
};

const std::vector<std::string> Occlusion = {"UseSSAO=1", "Matrix=3", "DepthThreshold=2"};

std::map<std::string, const ExrChannel*> byName(const ExrPart& part) {
    std::map<std::string, const ExrChannel*> channels;
    for (const ExrChannel& channel : part.channels)
        channels[channel.name] = &channel;
    return channels;
}

TEST_F(MultiView, EachViewGetsTheBitsOfRenderingItAlone) {
    struct Rendered {
        std::size_t view;
        std::vector<std::string> names; // its results in the stereo output
    };
    struct Case {
        const char* what;
        std::vector<std::string> views; // --view
        std::optional<std::string> layer;
        std::string depth;
        std::vector<Rendered> rendered;
        bool warnsAboutFar;
        bool warnsAboutCentre; // its depth and its normal, naming the view
    };
    const std::vector<Case> cases = {
        {"every view",
         {},
         std::nullopt,
         "z",
         {{0, {"R", "G", "B", "A"}},
          {1, {"right.R", "right.G", "right.B", "right.A"}},
          {2, {"centre.R", "centre.G", "centre.B", "centre.A"}}},
         true,
         true},
        {"--view right: the default view carried",
         {"right"},
         std::nullopt,
         "z",
         {{1, {"right.R", "right.G", "right.B", "right.A"}}},
         false,
         false},
        {"--view centre --view far, under a layer, inverse depth",
         {"centre", "far"},
         "ssao",
         "inverse",
         {{2, {"ssao.centre.R", "ssao.centre.G", "ssao.centre.B", "ssao.centre.A"}}},
         true,
         false},
    };
    const std::string stereo = Folder.path("stereo.exr");
    writeStereo(stereo);
    const ExrPart input = readExrFile(stereo).at(0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Warnings.clear();
        umbrix::RenderOptions options;
        options.input = stereo;
        options.output = Folder.path("stereo-out.exr");
        options.settings = Occlusion;
        options.views = c.views;
        options.layer = c.layer;
        options.depth = c.depth;
        render(options);
        const ExrPart output = readExrFile(options.output).at(0);
        std::map<std::string, const ExrChannel*> written = byName(output);
        std::set<std::string> replaced;
        for (const Rendered& view : c.rendered) {
            const std::string alone = Folder.path("alone.exr");
            writeAlone(alone, view.view);
            umbrix::RenderOptions single = options;
            single.input = alone;
            single.output = Folder.path("alone-out.exr");
            single.views.clear();
            render(single);
            const ExrPart expected = readExrFile(single.output).at(0);
            const umbrix::ResultNames results = umbrix::resultNames(c.layer);
            for (std::size_t k = 0; k < results.size(); ++k) {
                SCOPED_TRACE(view.names[k]);
                ASSERT_TRUE(written.count(view.names[k]));
                EXPECT_EQ(written[view.names[k]]->type, Imf::FLOAT);
                EXPECT_EQ(written[view.names[k]]->bits, expected.channel(results[k])->bits);
                replaced.insert(view.names[k]);
            }
        }
        // Every other channel carried to the bit, nothing more written.
        for (const std::string& name : replaced)
            written.erase(name);
        for (const ExrChannel& channel : input.channels) {
            if (replaced.count(channel.name))
                continue;
            SCOPED_TRACE(channel.name);
            ASSERT_TRUE(written.count(channel.name));
            EXPECT_EQ(written[channel.name]->type, channel.type);
            EXPECT_EQ(written[channel.name]->bits, channel.bits);
            written.erase(channel.name);
        }
        for (const auto& [name, channel] : written)
            ADD_FAILURE() << "also written: " << name;
        expectViewWarnings(stereo, c.warnsAboutFar, c.warnsAboutCentre);
    }
}

// Each view's part as a file of that view alone renders, to the bit, in every channel and in
// its own data window; every other part copied as it was.
TEST_F(MultiView, EachViewsPartGetsTheBitsOfRenderingItAlone) {
    struct Case {
        const char* what;
        std::vector<std::string> views; // --view
        std::optional<std::string> part;
        std::optional<std::string> layer;
        std::string depth;
        std::vector<std::size_t> rendered; // views
        bool warnsAboutFar;
        bool warnsAboutCentre;
    };
    const std::vector<Case> cases = {
        {"every view", {}, std::nullopt, std::nullopt, "z", {0, 1, 2}, true, true},
        {"--view right", {"right"}, std::nullopt, std::nullopt, "z", {1}, false, false},
        {"--part right: that part alone", {}, "right", std::nullopt, "z", {1}, false, false},
        {"--view centre --view far, under a layer, inverse depth",
         {"centre", "far"},
         std::nullopt,
         "ssao",
         "inverse",
         {2},
         true,
         false},
    };
    const std::string stereo = Folder.path("stereo-parts.exr");
    writeStereoParts(stereo);
    const std::vector<ExrPart> input = readExrFile(stereo);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Warnings.clear();
        umbrix::RenderOptions options;
        options.input = stereo;
        options.output = Folder.path("stereo-parts-out.exr");
        options.settings = Occlusion;
        options.views = c.views;
        options.part = c.part;
        options.layer = c.layer;
        options.depth = c.depth;
        render(options);
        const std::vector<ExrPart> output = readExrFile(options.output);
        ASSERT_EQ(output.size(), input.size());
        for (std::size_t p = 0; p < input.size(); ++p) {
            SCOPED_TRACE(input[p].name);
            const auto view = std::find_if(c.rendered.begin(), c.rendered.end(), [&](auto v) {
                return stereoViews()[v].first == input[p].name;
            });
            ExrPart expected = input[p];
            if (view != c.rendered.end()) {
                const std::string alone = Folder.path("alone.exr");
                writeExrFile(alone, {alonePart(*view, PartOrigins[*view])});
                umbrix::RenderOptions single = options;
                single.input = alone;
                single.output = Folder.path("alone-out.exr");
                single.views.clear();
                single.part.reset();
                render(single);
                expected = readExrFile(single.output).at(0);
            }
            EXPECT_EQ(output[p].name, input[p].name);
            EXPECT_EQ(output[p].view, input[p].view);
            EXPECT_EQ(output[p].dataWindow, input[p].dataWindow);
            ASSERT_EQ(output[p].channels.size(), expected.channels.size());
            for (std::size_t k = 0; k < expected.channels.size(); ++k) {
                SCOPED_TRACE(expected.channels[k].name);
                EXPECT_EQ(output[p].channels[k].name, expected.channels[k].name);
                EXPECT_EQ(output[p].channels[k].type, expected.channels[k].type);
                EXPECT_EQ(output[p].channels[k].bits, expected.channels[k].bits);
            }
        }
        expectViewWarnings(stereo, c.warnsAboutFar, c.warnsAboutCentre);
    }
}

TEST_F(MultiView, VerboseShowsEachViewsMapping) {
    const std::string stereo = Folder.path("stereo.exr");
    writeStereo(stereo);
    umbrix::RenderOptions options;
    options.input = stereo;
    options.output = Folder.path("out.exr");
    options.views = {"right", "far"};
    options.verbose = true;
    options.dryRun = true;
    render(options);
    const std::string parts = Folder.path("parts.exr");
    writeStereoParts(parts);
    options.input = parts;
    render(options);
    const auto blockOf = [&](const std::string& file) {
        const auto found = std::find_if(Messages.begin(), Messages.end(), [&](const auto& m) {
            return m.starts_with(file + ": channel -> role");
        });
        return found == Messages.end() ? std::string() : *found;
    };
    const std::vector<std::pair<std::string, std::vector<const char*>>> blocks = {
        {blockOf(stereo),
         {"\nview left (default): carried, not named by --view\n  A -> carried\n",
          "\nview right\n  right.A -> occlusion (result) (3)\n", "  right.N.X -> normal.x (10)\n",
          "  right.R -> normal z (result) (0)\n  right.Z -> depth (4)\n",
          "\nview far: carried, it has no depth\n  far.A -> carried\n"}},
        {blockOf(parts),
         {"\nview left (part left): carried, not named by --view\n  A -> carried\n",
          "\nview right (part right)\n  A -> occlusion (result) (3)\n", "  N.X -> normal.x (10)\n",
          "  R -> normal z (result) (0)\n  Z -> depth (4)\n",
          "\nview far (part far): carried, it has no depth\n  A -> carried\n"}}};
    for (const auto& [block, pieces] : blocks)
        for (const char* piece : pieces)
            EXPECT_NE(block.find(piece), std::string::npos) << piece << "\nnot in\n" << block;
}

// A picture format holds one view: the others' channels, or their parts, are named as dropped.
TEST_F(MultiView, AnOutputOfAnotherFormatNamesTheViewsItDrops) {
    const std::string stereo = Folder.path("stereo.exr");
    writeStereo(stereo);
    const std::string parts = Folder.path("parts.exr");
    writeStereoParts(parts);
    const std::string output = Folder.path("out.png");
    const struct {
        std::string input;
        std::string warning;
    } cases[] = {
        {stereo, output + " keeps R G B A only; dropped right.R right.G right.B right.A"},
        {parts, output + " holds view left only; dropped views right centre far (write .exr to "
                         "keep every view)"},
    };
    for (const auto& c : cases) {
        Warnings.clear();
        umbrix::RenderOptions options;
        options.input = c.input;
        options.output = output;
        render(options);
        EXPECT_EQ(std::count_if(Warnings.begin(), Warnings.end(),
                                [&](const std::string& w) { return w.starts_with(c.warning); }),
                  1)
            << c.input;
    }
}

TEST_F(MultiView, AViewTheFileLacksIsAUsageError) {
    const std::string stereo = Folder.path("stereo.exr");
    writeStereo(stereo);
    const std::string single = Folder.path("single.exr");
    writeAlone(single, 0);
    const struct {
        std::string input;
        std::string message;
    } cases[] = {
        {stereo, "--view up: " + stereo +
                     " has no view of that name (it has left, right, centre, "
                     "far)"},
        {single, "--view up: " + single +
                     " has one view (no multiView attribute, nor parts of several views)"},
    };
    for (const auto& c : cases) {
        umbrix::RenderOptions options;
        options.input = c.input;
        options.output = Folder.path("out.exr");
        options.views = {"up"};
        try {
            render(options);
            ADD_FAILURE() << c.input << " rendered";
        } catch (const umbrix::UsageError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

} // namespace
} // namespace apptest
