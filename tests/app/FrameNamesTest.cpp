#include "app/Failure.h"
#include "app/core/FrameSequence.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace umbrix;

namespace {

std::vector<int> framesOf(const FrameList& list) {
    std::vector<int> frames;
    for (std::size_t i = 0; i < list.size(); ++i)
        frames.push_back(list[i]);
    return frames;
}

TEST(FrameNames, ListsGiveTheirFramesInOrder) {
    struct Case {
        const char* text;
        std::vector<int> frames;
    };
    const std::vector<Case> cases = {
        {"5", {5}},
        {"1-5", {1, 2, 3, 4, 5}},
        {"1-10x3", {1, 4, 7, 10}},
        {"1-9x3", {1, 4, 7}},
        {"10-1x4", {10, 6, 2}},
        {"3-1", {3, 2, 1}},
        {"1-2x5", {1}},
        {"1,5,10-12,2", {1, 5, 10, 11, 12, 2}},
        {"-2-1", {-2, -1, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(framesOf(FrameList(c.text)), c.frames);
    }
}

TEST(FrameNames, LongListsAreIndexedWithoutBeingSpelledOut) {
    const FrameList list("1-10000000");
    ASSERT_EQ(list.size(), 10'000'000u);
    EXPECT_EQ(list[9'999'999], 10'000'000);
    const FrameList mixed("7,100-1x3,2");
    ASSERT_EQ(mixed.size(), 36u);
    EXPECT_EQ(mixed[1], 100);
    EXPECT_EQ(mixed[34], 1);
    EXPECT_EQ(mixed[35], 2);
}

TEST(FrameNames, MalformedListsAreUsageErrors) {
    const std::string expected = "expected frames like 1-100, 1-100x2, 100-1 or 1,5,10-20";
    struct Case {
        const char* text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"", expected},
        {"a", expected},
        {"1-", expected},
        {"1-5x", expected},
        {"1-5x0", expected},
        {"1-5x-2", expected},
        {"1,,2", expected},
        {"1-5y", expected},
        {"1-5,", expected},
        {"0-10000000", "more than 10000000 frames"},
        {"1-9999999,1-2", "more than 10000000 frames"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            FrameList list(c.text);
            ADD_FAILURE() << "accepted, " << list.size() << " frames";
        } catch (const UsageError& e) {
            EXPECT_EQ(e.what(), "--frames " + std::string(c.text) + ": " + c.message);
        }
    }
}

TEST(FrameNames, PatternsTakeTheFrameNumberPadded) {
    struct Case {
        const char* path;
        int frame;
        const char* named; // the path itself when it holds no pattern
    };
    const std::vector<Case> cases = {
        {"in.#.exr", 7, "in.0007.exr"},
        {"in.##.exr", 7, "in.07.exr"},
        {"in.@@@.exr", 7, "in.007.exr"},
        {"in.@.exr", 12, "in.12.exr"},
        {"in.%d.exr", 7, "in.7.exr"},
        {"in.%04d.exr", 12, "in.0012.exr"},
        {"in.#.exr", 123456, "in.123456.exr"},
        {"take#/in.@@.exr", 3, "take0003/in.03.exr"},
        {"in.%4d.exr", 7, "in.%4d.exr"},
        {"in.%x.exr", 7, "in.%x.exr"},
        {"in%", 7, "in%"},
        {"in.exr", 7, "in.exr"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(framePath(c.path, c.frame), c.named);
        EXPECT_EQ(hasFramePattern(c.path), std::string(c.path) != c.named);
    }
}

} // namespace
