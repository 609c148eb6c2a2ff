#include "process/NormalSteps.h"
#include "process/OcclusionSamples.h"
#include "process/RowsOnce.h"

#include <atomic>
#include <cstdint>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace umbrix::process;

TEST(RowsOnce, EveryRowIsFormedOnceWhateverTheNumberOfChunksThatNeedIt) {
    constexpr int Rows = 64;
    RowsOnce rows;
    rows.reset(Rows);
    std::vector<std::atomic<int>> formed(Rows);
    std::vector<int> content(Rows, 0);
    std::vector<std::thread> chunks;
    std::atomic<int> wrong{0};
    for (int chunk = 0; chunk < 8; ++chunk)
        chunks.emplace_back([&, chunk] {
            for (int k = 0; k < Rows; ++k) {
                const int y = (k + chunk * 7) % Rows;
                rows.ensure(y, [&](std::int32_t row) {
                    formed[static_cast<std::size_t>(row)].fetch_add(1);
                    content[static_cast<std::size_t>(row)] = row + 1000;
                });
                if (content[static_cast<std::size_t>(y)] != y + 1000)
                    wrong.fetch_add(1);
            }
        });
    for (std::thread& chunk : chunks)
        chunk.join();
    EXPECT_EQ(wrong.load(), 0);
    for (int y = 0; y < Rows; ++y)
        EXPECT_EQ(formed[static_cast<std::size_t>(y)].load(), 1) << y;

    rows.reset(Rows);
    int again = 0;
    rows.ensure(5, [&](std::int32_t) { ++again; });
    EXPECT_EQ(again, 1) << "reset marks every row unformed";
}

TEST(RowsOnce, AFailedFormLeavesTheRowForTheNextChunk) {
    RowsOnce rows;
    rows.reset(3);
    EXPECT_THROW(rows.ensure(1, [](std::int32_t) { throw std::runtime_error("no memory"); }),
                 std::runtime_error);
    int formed = 0;
    rows.ensure(1, [&](std::int32_t) { ++formed; });
    rows.ensure(1, [&](std::int32_t) { ++formed; });
    EXPECT_EQ(formed, 1);
}

TEST(NormalSteps, EachRowFormedOnceIntoItsOwnWords) {
    NormalSteps steps;
    steps.reset(130, 4);
    ASSERT_EQ(steps.words(), 3);
    int forms = 0;
    const auto form = [&](std::int32_t y, std::uint64_t* bits) {
        ++forms;
        for (int w = 0; w < 3; ++w)
            bits[w] = static_cast<std::uint64_t>(y * 10 + w);
    };
    const std::uint64_t* two = steps.row(2, form);
    const std::uint64_t* zero = steps.row(0, form);
    EXPECT_EQ(two[2], 22U);
    EXPECT_EQ(zero[1], 1U);
    EXPECT_EQ(two - zero, 6);
    EXPECT_EQ(steps.row(2, form), two);
    EXPECT_EQ(forms, 2);
    steps.reset(130, 4);
    steps.row(2, form);
    EXPECT_EQ(forms, 3) << "reset marks every row unformed";
}

TEST(OcclusionSamples, ColumnCoordinatesAreTheRunningSumOfTheStep) {
    OcclusionSamples samples;
    samples.reset(1000, 2);
    std::vector<float> scratch;
    const float step = 0.0137f;
    const float* h = samples.columnCoordinates(step, scratch);
    float sum = 0.0f;
    for (int x = 0; x < 1000; ++x) {
        ASSERT_EQ(h[x], sum) << x;
        sum = sum + step;
    }
    EXPECT_NE(h[999], 999 * step) << "the sum is not a product";
    EXPECT_EQ(samples.columnCoordinates(step, scratch), h);
    EXPECT_TRUE(scratch.empty());
    const float* other = samples.columnCoordinates(0.5f, scratch);
    EXPECT_EQ(other, scratch.data());
    EXPECT_EQ(other[3], 1.5f);
}
