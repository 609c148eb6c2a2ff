#include "host/Number.h"
#include "minihost/Host.h"
#include "tests/support/ToolFixture.h"

#include <bit>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();

std::uint64_t bits(double value) {
    return std::bit_cast<std::uint64_t>(value);
}

const char* const AboutLines[] = {
    "Umbrix 1.00 (early wip) by the Umbrix developers",
    "https://umbrix.invalid/",
    "developers@umbrix.invalid",
    "",
    "",
    "",
    "Umbrix is a filter that outputs normals and SSAO, SSAO can be rendered",
    "based on either calculated or supplied normals, supplied will give you better results.",
};

std::string aboutText() {
    std::string text = AboutLines[0];
    for (std::size_t k = 1; k < std::size(AboutLines); ++k)
        text += std::string("\n") + AboutLines[k];
    return text;
}

// Each box shown, with the About input's value at the moment it showed.
struct Box {
    std::string text;
    std::string caption;
    unsigned type;
    double valueWhileShown;
};

class AboutBox : public testsupport::ToolTest {
  protected:
    void SetUp() override {
        ToolTest::SetUp();
        minihost::setMessageBoxHandler(
            [this](const char* text, const char* caption, unsigned type) {
                Boxes.push_back({text, caption, type, minihost::value(*Watched)});
                return 1;
            });
    }
    void TearDown() override {
        minihost::setMessageBoxHandler(nullptr);
        ToolTest::TearDown();
    }

    // A fresh tool per case, so the About input starts from its initial value.
    minihost::OperatorPtr freshTool() {
        auto tool = newTool();
        Watched = &input(*tool, "About");
        Boxes.clear();
        return tool;
    }

    Input* Watched = nullptr;
    std::vector<Box> Boxes;
};

} // namespace

TEST_F(AboutBox, ShowsForAPressOfAtLeastHalf) {
    for (double press : {0.5, 1.0, 2.0, Inf}) {
        SCOPED_TRACE(press);
        auto tool = freshTool();
        const double before = minihost::value(*Watched);
        minihost::setValue(*tool, *Watched, press);
        ASSERT_EQ(Boxes.size(), 1U);
        // The base operation keeps the value, and runs only once the box is gone.
        EXPECT_EQ(bits(Boxes[0].valueWhileShown), bits(before));
        EXPECT_EQ(bits(minihost::value(*Watched)), bits(press));
    }
}

TEST_F(AboutBox, StaysHiddenBelowHalfAndForNaN) {
    const double justBelow = std::nextafter(0.5, 0.0);
    for (double press : {0.4, justBelow, 0.0, -0.0, -1.0, -Inf, std::nan("")}) {
        SCOPED_TRACE(press);
        auto tool = freshTool();
        minihost::setValue(*tool, *Watched, press);
        EXPECT_TRUE(Boxes.empty());
        EXPECT_EQ(bits(minihost::value(*Watched)), bits(press));
    }
}

TEST_F(AboutBox, CaptionTypeAndText) {
    auto tool = freshTool();
    minihost::setValue(*tool, *Watched, 1.0);
    ASSERT_EQ(Boxes.size(), 1U);
    EXPECT_EQ(Boxes[0].caption, "About this filter");
    EXPECT_EQ(Boxes[0].type, 0U);
    EXPECT_EQ(Boxes[0].text, aboutText());
}

TEST_F(AboutBox, EveryPressShowsItsOwnBox) {
    auto tool = freshTool();
    minihost::setValue(*tool, *Watched, 1.0);
    minihost::setValue(*tool, *Watched, 0.75);
    ASSERT_EQ(Boxes.size(), 2U);
    EXPECT_EQ(bits(Boxes[1].valueWhileShown), bits(1.0));
    EXPECT_EQ(bits(minihost::value(*Watched)), bits(0.75));
}

TEST_F(AboutBox, NullParameterShowsNothing) {
    auto tool = freshTool();
    minihost::setValue(*tool, *Watched, 0.25);
    tool->NotifyChanged(Watched, nullptr, 0.0, nullptr);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(bits(minihost::value(*Watched)), bits(0.25));
}

TEST_F(AboutBox, OtherInputsNeverShowIt) {
    auto tool = freshTool();
    for (Input* in : minihost::inputs(*tool)) {
        if (in == Watched)
            continue;
        SCOPED_TRACE(minihost::info(*in).id);
        minihost::setValue(*tool, *in, 1.0);
        EXPECT_TRUE(Boxes.empty());
        EXPECT_EQ(bits(minihost::value(*in)), bits(1.0));
    }
}

TEST_F(AboutBox, AnotherToolsAboutInputDoesNotShowIt) {
    auto tool = freshTool();
    Number press(1.0);
    Tool->NotifyChanged(Watched, &press, 0.0, nullptr);
    EXPECT_TRUE(Boxes.empty());
}
