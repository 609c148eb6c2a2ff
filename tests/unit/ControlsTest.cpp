#include "minihost/Host.h"
#include "tests/support/EventLog.h"
#include "tests/support/TagItems.h"
#include "tests/support/ToolFixture.h"

#include <bit>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <optional>

using namespace testsupport;
using Controls = ToolTest;
using ControlValues = ToolTest;

namespace {

struct ControlRow {
    const char* id;
    const char* name;
    bool output;
    std::vector<TagItem> tags;
};

TagItem number() {
    return idTag(0x88020000, "Number");
}
TagItem image() {
    return idTag(0x88020000, "Image");
}
TagItem kind(const char* control) {
    return idTag(0x80030000, control);
}

std::vector<TagItem> slider(double low, double high, double standard) {
    return {number(), kind("SliderControl"), doubleTag(0x20030000, low),
            doubleTag(0x20030001, high), doubleTag(0x20030004, standard)};
}

std::vector<TagItem> checkbox(double standard) {
    return {number(), kind("CheckboxControl"), intTag(0x1003000a, 1),
            doubleTag(0x20030004, standard), doubleTag(0x20040007, 0.5)};
}

// The controls in creation order, with every tag as passed.
const std::vector<ControlRow>& controlTable() {
    static const std::vector<ControlRow> table = [] {
        auto matrix = slider(0.0, 200.0, 5.0);
        matrix.push_back(intTag(0x1003000c, 1));
        return std::vector<ControlRow>{
            {"UseNormals", "Calculate normals", false, checkbox(1.0)},
            {"UseSSAO", "Calculate SSAO", false, checkbox(0.0)},
            {"FilterMethod",
             "Improve SSAO with normals",
             false,
             {number(), kind("ComboControl"), stringTag(0x38040000, "Rendered Normals"),
              stringTag(0x38040000, "Calculated Normals"), stringTag(0x38040000, "disabled"),
              intTag(0x10050000, 1), doubleTag(0x20030001, 2.0), doubleTag(0x20030000, 0.0),
              doubleTag(0x20030004, 0.0), intTag(0x1003000a, 1), doubleTag(0x20040007, 1.0)}},
            {"Matrix", "Matrix", false, matrix},
            {"Amount", "Amount", false, slider(0.0, 1.0, 0.025)},
            {"SmalDepth", "Small depth", false, slider(0.0, 10.0, 0.001)},
            {"DepthThreshold", "Depth threshold", false, slider(1.0, 100.0, 24.0)},
            {"NormalsAngleControll", "Normals angle control", false, slider(0.0, 100.0, 45.0)},
            {"NormalsZControll", "Normals Z control (Normals)", false, slider(0.0, 1.0, 0.05)},
            {"CamFOV", "Camera FOV (Normals)", false, slider(0.0, 100.0, 45.0)},
            {"Input", "Input", false, {image(), intTag(0x10020001, 1)}},
            {"Output", "Output", true, {image(), intTag(0x10020001, 1)}},
            {"About", "About", false, {kind("ButtonControl"), intTag(0x1003000a, 1)}},
        };
    }();
    return table;
}

struct ValueControl {
    const char* id;
    const char* kind;
    double standard;
    std::optional<double> low, high;
};

// The value controls as the user first sees them.
const ValueControl valueControls[] = {
    {"UseNormals", "CheckboxControl", 1.0, {}, {}},
    {"UseSSAO", "CheckboxControl", 0.0, {}, {}},
    {"FilterMethod", "ComboControl", 0.0, 0.0, 2.0},
    {"Matrix", "SliderControl", 5.0, 0.0, 200.0},
    {"Amount", "SliderControl", 0.025, 0.0, 1.0},
    {"SmalDepth", "SliderControl", 0.001, 0.0, 10.0},
    {"DepthThreshold", "SliderControl", 24.0, 1.0, 100.0},
    {"NormalsAngleControll", "SliderControl", 45.0, 0.0, 100.0},
    {"NormalsZControll", "SliderControl", 0.05, 0.0, 1.0},
    {"CamFOV", "SliderControl", 45.0, 0.0, 100.0},
};

std::uint64_t bits(double value) {
    return std::bit_cast<std::uint64_t>(value);
}

std::optional<std::uint64_t> bits(std::optional<double> value) {
    return value ? std::optional(bits(*value)) : std::nullopt;
}

const minihost::ControlInfo& infoOf(const Operator& op, const ControlRow& row) {
    if (row.output)
        return minihost::info(*minihost::findOutput(op, row.id));
    return minihost::info(*minihost::findInput(op, row.id));
}

} // namespace

TEST_F(Controls, OnePageSettings) {
    EXPECT_EQ(minihost::pages(*Tool), std::vector<std::string>{"Settings"});
}

TEST_F(Controls, InputsInCreationOrderAndOneOutput) {
    std::vector<std::string> inputIds, outputIds;
    for (Input* in : minihost::inputs(*Tool))
        inputIds.push_back(minihost::info(*in).id);
    for (Output* out : minihost::outputs(*Tool))
        outputIds.push_back(minihost::info(*out).id);
    EXPECT_EQ(inputIds,
              (std::vector<std::string>{"UseNormals", "UseSSAO", "FilterMethod", "Matrix", "Amount",
                                        "SmalDepth", "DepthThreshold", "NormalsAngleControll",
                                        "NormalsZControll", "CamFOV", "Input", "About"}));
    EXPECT_EQ(outputIds, std::vector<std::string>{"Output"});
}

// The temporary identifiers of each creation call show the order of the calls, the output's
// included.
TEST_F(Controls, CreatedInTableOrder) {
    EventLog log;
    auto tool = newTool();
    std::vector<std::size_t> order;
    for (const std::string& event : log.events())
        for (std::size_t k = 0; k < controlTable().size(); ++k) {
            const ControlRow& row = controlTable()[k];
            if ((event == std::string("FuID ") + row.id ||
                 event == std::string("FuID ") + row.name) &&
                (order.empty() || order.back() != k))
                order.push_back(k);
        }
    EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
}

TEST_F(Controls, EveryControlCarriesItsTagsInOrder) {
    for (const ControlRow& row : controlTable()) {
        SCOPED_TRACE(row.id);
        const minihost::ControlInfo& info = infoOf(*Tool, row);
        EXPECT_EQ(info.id, row.id);
        EXPECT_EQ(info.name, row.name);
        EXPECT_EQ(info.page, "Settings");
        EXPECT_EQ(info.isOutput, row.output);
        EXPECT_TRUE(sameItems(row.tags, info.tags.items()));
    }
}

TEST_F(Controls, ValueControlsAsFirstSeen) {
    for (const ValueControl& control : valueControls) {
        SCOPED_TRACE(control.id);
        Input& in = input(*Tool, control.id);
        const minihost::ControlInfo& info = minihost::info(in);
        EXPECT_EQ(info.dataType, "Number");
        EXPECT_EQ(info.controlKind, control.kind);
        EXPECT_EQ(bits(info.defaultValue), bits(std::optional(control.standard)));
        EXPECT_EQ(bits(minihost::value(in)), bits(control.standard));
        EXPECT_EQ(bits(info.low), bits(control.low));
        EXPECT_EQ(bits(info.high), bits(control.high));
    }
    EXPECT_EQ(minihost::info(input(*Tool, "FilterMethod")).comboEntries,
              (std::vector<std::string>{"Rendered Normals", "Calculated Normals", "disabled"}));
}

TEST_F(Controls, ImagesAndAboutCarryNoValueTags) {
    for (const char* id : {"Input", "About"}) {
        SCOPED_TRACE(id);
        const minihost::ControlInfo& info = minihost::info(input(*Tool, id));
        EXPECT_FALSE(info.defaultValue);
        EXPECT_FALSE(info.low);
        EXPECT_FALSE(info.high);
    }
    EXPECT_EQ(minihost::info(input(*Tool, "Input")).dataType, "Image");
    EXPECT_EQ(minihost::info(*minihost::findOutput(*Tool, "Output")).dataType, "Image");
    EXPECT_EQ(minihost::info(input(*Tool, "About")).dataType, "");
    EXPECT_EQ(minihost::info(input(*Tool, "About")).controlKind, "ButtonControl");
}

TEST_F(Controls, DepthThresholdIsTheOnlySliderStartingAtOne) {
    std::vector<std::string> sliders, notFromZero;
    for (Input* in : minihost::inputs(*Tool)) {
        const minihost::ControlInfo& info = minihost::info(*in);
        if (info.controlKind != "SliderControl")
            continue;
        sliders.push_back(info.id);
        if (bits(info.low) != bits(std::optional(0.0)))
            notFromZero.push_back(info.id);
    }
    EXPECT_EQ(sliders.size(), 7U);
    EXPECT_EQ(notFromZero, std::vector<std::string>{"DepthThreshold"});
}

TEST_F(Controls, ThirdComboEntryIsValueTwo) {
    Input& method = input(*Tool, "FilterMethod");
    set(*Tool, "FilterMethod", 2.0);
    EXPECT_EQ(bits(minihost::value(method)), bits(2.0));
    EXPECT_EQ(minihost::info(method).comboEntries.at(2), "disabled");
}

TEST_F(ControlValues, OutsideTheRangeReachTheToolUnchanged) {
    const double quietNaN = std::bit_cast<double>(std::uint64_t{0x7ff8000000000123});
    const struct {
        const char* id;
        double value;
    } cases[] = {
        {"Matrix", -3.0},
        {"Matrix", 1e9},
        {"DepthThreshold", 0.0},
        {"Amount", -0.0},
        {"CamFOV", quietNaN},
        {"NormalsZControll", 1e300},
        {"FilterMethod", 7.5},
        {"UseSSAO", -1.0},
        {"SmalDepth", -std::numeric_limits<double>::infinity()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        set(*Tool, c.id, c.value);
        EXPECT_EQ(bits(minihost::value(input(*Tool, c.id))), bits(c.value));
    }
}
