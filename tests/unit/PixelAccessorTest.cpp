#include "host/PixelAccessor.h"

#include "minihost/Host.h"
#include "tests/support/PixelRecords.h"
#include "tests/support/ToolFixture.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using testsupport::bits;

namespace {

struct Call {
    bool write;
    FloatPixel* record;
    std::uint8_t* first;
    std::uint8_t* second;
    Image* image;
    bool operator==(const Call&) const = default;
};

std::vector<Call> calls;
PixelFunction forwardedRead = nullptr;

bool recordRead(FloatPixel* record, std::uint8_t* first, std::uint8_t* second, Image* image) {
    calls.push_back({false, record, first, second, image});
    return forwardedRead ? forwardedRead(record, first, second, image) : true;
}

bool recordWrite(FloatPixel* record, std::uint8_t* first, std::uint8_t* second, Image* image) {
    calls.push_back({true, record, first, second, image});
    return true;
}

// An image whose functions only record their arguments, with rows laid out bottom-up so that no
// address follows from row 0 alone. Nothing is ever read through its addresses.
struct RecordingImage {
    static constexpr int Width = 6, Height = 4, FirstStride = 20, SecondStride = 12;
    std::array<std::uint8_t, 4096> storage{};
    std::vector<std::uint8_t*> firstRows, secondRows;
    Image image;

    RecordingImage() {
        for (int y = 0; y < Height; ++y) {
            firstRows.push_back(&storage[static_cast<std::size_t>(1000 - 200 * y)]);
            secondRows.push_back(&storage[static_cast<std::size_t>(3000 - 100 * y)]);
        }
        image.Width = Width;
        image.Height = Height;
        image.FirstRows = firstRows.data();
        image.SecondRows = secondRows.data();
        image.FirstStride = FirstStride;
        image.SecondStride = SecondStride;
        image.Read = recordRead;
        image.Write = recordWrite;
        calls.clear();
        forwardedRead = nullptr;
    }

    Call read(FloatPixel* record, int x, int y) {
        return {false, record, firstRows[static_cast<std::size_t>(y)] + x * FirstStride,
                secondRows[static_cast<std::size_t>(y)] + x * SecondStride, &image};
    }
};

} // namespace

TEST(PixelAccessor, StartsAtPixelZeroZero) {
    RecordingImage fake;
    PixelAccessor accessor(fake.image);
    FloatPixel record;
    accessor.ReadPixel(record);
    accessor.WritePixel(record);
    Call write = fake.read(&record, 0, 0);
    write.write = true;
    EXPECT_EQ(calls, (std::vector<Call>{fake.read(&record, 0, 0), write}));
}

TEST(PixelAccessor, MoveToAddsColumnTimesStrideToTheRowEntry) {
    RecordingImage fake;
    PixelAccessor accessor(fake.image);
    FloatPixel record;
    std::vector<Call> expected;
    for (auto [x, y] : {std::pair{5, 3}, {0, 2}, {1, 0}, {3, 1}, {5, 0}}) {
        accessor.MoveTo(x, y);
        accessor.ReadPixel(record);
        expected.push_back(fake.read(&record, x, y));
    }
    EXPECT_EQ(calls, expected);
}

TEST(PixelAccessor, LooksTheRowTablesUpAtEveryMove) {
    RecordingImage fake;
    PixelAccessor accessor(fake.image);
    FloatPixel record;
    accessor.MoveTo(2, 1);
    fake.firstRows[1] = &fake.storage[40];
    fake.secondRows[1] = &fake.storage[60];
    accessor.ReadPixel(record); // the position stays where the last move put it
    accessor.MoveTo(2, 1);
    accessor.ReadPixel(record);
    std::vector<std::uint8_t*> otherTable(RecordingImage::Height, &fake.storage[80]);
    fake.image.FirstRows = otherTable.data();
    accessor.MoveTo(2, 1);
    accessor.ReadPixel(record);
    ASSERT_EQ(calls.size(), 3U);
    EXPECT_EQ(calls[0].first, &fake.storage[800 + 2 * 20]);
    EXPECT_EQ(calls[0].second, &fake.storage[2900 + 2 * 12]);
    EXPECT_EQ(calls[1].first, &fake.storage[40 + 2 * 20]);
    EXPECT_EQ(calls[1].second, &fake.storage[60 + 2 * 12]);
    EXPECT_EQ(calls[2].first, &fake.storage[80 + 2 * 20]);
}

TEST(PixelAccessor, KeepsStridesAndFunctionsFromConstruction) {
    RecordingImage fake;
    PixelAccessor accessor(fake.image);
    fake.image.FirstStride = 4;
    fake.image.SecondStride = 4;
    fake.image.Read = nullptr;
    FloatPixel record;
    accessor.MoveTo(3, 2);
    accessor.ReadPixel(record);
    EXPECT_EQ(calls, std::vector<Call>{fake.read(&record, 3, 2)});
}

TEST(PixelAccessor, PlaneWithoutRowTableKeepsANullAddress) {
    for (bool firstMissing : {false, true}) {
        SCOPED_TRACE(firstMissing);
        RecordingImage fake;
        (firstMissing ? fake.image.FirstRows : fake.image.SecondRows) = nullptr;
        PixelAccessor accessor(fake.image);
        FloatPixel record;
        accessor.ReadPixel(record);
        accessor.MoveTo(4, 3);
        accessor.WritePixel(record);
        ASSERT_EQ(calls.size(), 2U);
        for (const Call& call : calls)
            EXPECT_EQ(firstMissing ? call.first : call.second, nullptr);
        const Call moved = fake.read(&record, 4, 3);
        EXPECT_EQ(firstMissing ? calls[1].second : calls[1].first,
                  firstMissing ? moved.second : moved.first);
    }
}

TEST(PixelAccessor, HostImageWithoutExtraChannelsGetsNullSecondAddresses) {
    auto image = minihost::makeImage(3, 2, {});
    forwardedRead = image->Read;
    image->Read = recordRead;
    calls.clear();
    minihost::sample(*image, 2, 1, 3) = 0.75f;
    PixelAccessor accessor(*image);
    FloatPixel record = testsupport::garbageRecord();
    accessor.MoveTo(2, 1);
    accessor.ReadPixel(record);
    forwardedRead = nullptr;
    ASSERT_EQ(calls.size(), 1U);
    EXPECT_EQ(calls[0].second, nullptr);
    EXPECT_EQ(bits(record[3]), bits(0.75f));
    EXPECT_EQ(bits(record[4]), 0U);
}

TEST(PixelAccessor, ReadsWithoutMoveReachTheSamePixel) {
    auto image = minihost::makeImage(4, 3, {4, 10});
    for (int c : minihost::channels(*image))
        minihost::sample(*image, 2, 1, c) = 1.0f + static_cast<float>(c);
    PixelAccessor accessor(*image);
    accessor.MoveTo(2, 1);
    FloatPixel first = testsupport::garbageRecord();
    FloatPixel second = testsupport::distinctRecord(7.0f);
    accessor.ReadPixel(first);
    accessor.ReadPixel(second);
    // Both reads define channels 0-15, which hold every channel the image stores.
    EXPECT_EQ(std::memcmp(&first, &second, 16 * sizeof(float)), 0);
    EXPECT_EQ(bits(second[10]), bits(11.0f));
}

TEST(PixelAccessor, ReadAfterWriteGivesTheWrittenStoredChannels) {
    auto image = minihost::makeImage(4, 3, {4, 10, 11, 12});
    PixelAccessor accessor(*image);
    accessor.MoveTo(1, 2);
    FloatPixel written = testsupport::distinctRecord(-3.0f);
    accessor.WritePixel(written);
    FloatPixel back = testsupport::garbageRecord();
    accessor.ReadPixel(back);
    for (int c = 0; c < 16; ++c)
        EXPECT_EQ(bits(back[c]), bits(minihost::stores(*image, c) ? written[c] : 0.0f)) << c;
}
