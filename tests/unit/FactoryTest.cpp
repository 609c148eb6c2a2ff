#include "minihost/Host.h"
#include "tests/support/EventLog.h"
#include "tests/support/ToolFixture.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <stdexcept>

using Factory = testsupport::ToolTest;

namespace {

bool shareAny(const std::vector<Input*>& a, const std::vector<Input*>& b) {
    return std::any_of(a.begin(), a.end(),
                       [&b](Input* in) { return std::find(b.begin(), b.end(), in) != b.end(); });
}

} // namespace

TEST_F(Factory, TwoInstancesHaveTheirOwnPagesAndControls) {
    auto other = newTool();
    ASSERT_TRUE(other);
    ASSERT_NE(other.get(), Tool.get());
    EXPECT_EQ(minihost::pages(*Tool), std::vector<std::string>{"Settings"});
    EXPECT_EQ(minihost::pages(*other), std::vector<std::string>{"Settings"});
    EXPECT_EQ(minihost::inputs(*other).size(), 12U);
    EXPECT_FALSE(shareAny(minihost::inputs(*Tool), minihost::inputs(*other)));
    EXPECT_NE(minihost::outputs(*Tool).at(0), minihost::outputs(*other).at(0));

    set(*other, "Matrix", 7.0);
    EXPECT_EQ(minihost::value(input(*other, "Matrix")), 7.0);
    EXPECT_EQ(minihost::value(input(*Tool, "Matrix")), 5.0);
}

TEST_F(Factory, NoMemoryGivesNullAndRunsNoConstructor) {
    testsupport::EventLog log;
    minihost::failNextAllocations(1);
    auto none = newTool();
    minihost::failNextAllocations(0);
    EXPECT_EQ(none, nullptr);
    // The constructor's first act would name its first control.
    EXPECT_EQ(log.events(), std::vector<std::string>{});

    auto later = newTool();
    ASSERT_TRUE(later);
    EXPECT_EQ(minihost::inputs(*later).size(), 12U);
}

TEST_F(Factory, ThrowingConstructorPassesTheExceptionOn) {
    for (int nth = 1; nth <= 13; ++nth) {
        SCOPED_TRACE(nth);
        minihost::failControlCreation(nth);
        EXPECT_THROW(newTool(), std::runtime_error);
        auto later = newTool();
        ASSERT_TRUE(later);
        EXPECT_EQ(minihost::inputs(*later).size(), 12U);
        EXPECT_EQ(minihost::outputs(*later).size(), 1U);
    }
    // Thirteen creation calls and no more.
    minihost::failControlCreation(14);
    EXPECT_NO_THROW(newTool());
    minihost::failControlCreation(0);
}
