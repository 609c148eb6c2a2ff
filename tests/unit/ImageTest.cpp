#include "host/Image.h"

#include "host/Operator.h"
#include "host/PixelAccessor.h"
#include "minihost/Host.h"
#include "tests/support/PixelRecords.h"
#include "tests/support/ToolFixture.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <stdexcept>

using testsupport::bits;

namespace {

// Fills every stored sample with a value of its own.
void fillDistinct(Image& image, float seed) {
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x)
            for (int c : minihost::channels(image))
                minihost::sample(image, x, y, c) =
                    seed + static_cast<float>(c + 128 * (x + 16 * y));
}

bool allZero(const Image& image) {
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x)
            for (int c : minihost::channels(image))
                if (bits(minihost::sample(image, x, y, c)) != 0)
                    return false;
    return true;
}

FloatPixel readAt(Image& image, int x, int y) {
    FloatPixel record = testsupport::garbageRecord();
    image.Read(&record, testsupport::firstAddress(image, x, y),
               testsupport::secondAddress(image, x, y), &image);
    return record;
}

void writeAt(Image& image, int x, int y, FloatPixel record) {
    image.Write(&record, testsupport::firstAddress(image, x, y),
                testsupport::secondAddress(image, x, y), &image);
}

// Makes its output image with NewImage from whatever its image input holds.
class ImageMaker : public Operator {
  public:
    ImageMaker() : Operator(nullptr, ScriptVal(), TagList()) {
        In = AddInput(FuID("Input", true), FuID("Input", true), TAG_DataType, FuID("Image", true),
                      TAG_DONE);
        Out = AddOutput(FuID("Output", true), FuID("Output", true), TAG_DataType,
                        FuID("Image", true), TAG_DONE);
    }

    bool Process(Request* req) override {
        auto* source = static_cast<Image*>(In->GetSource(req->GetTime()));
        Image* made = NewImage(TAG_ImageLike, source, TAG_DONE);
        return made && req->SetOutputData(Out, made);
    }

    Input* In;
    Output* Out;
};

minihost::ImagePtr newImageLike(Image& source) {
    minihost::OperatorPtr maker(new ImageMaker);
    auto& in = *static_cast<ImageMaker&>(*maker).In;
    minihost::connect(in, &source);
    auto result = minihost::render(*maker);
    EXPECT_TRUE(result.ok);
    return result.takeImage(static_cast<ImageMaker&>(*maker).Out);
}

} // namespace

TEST(StoredImage, TwoPlanesOfFloatsZeroFilled) {
    auto image = minihost::makeImage(5, 3, {10, 4, 12});
    EXPECT_EQ(image->Width, 5);
    EXPECT_EQ(image->Height, 3);
    EXPECT_EQ(image->FirstStride, 16);
    EXPECT_EQ(image->SecondStride, 12);
    EXPECT_EQ(minihost::channels(*image), (std::vector<int>{0, 1, 2, 3, 10, 4, 12}));
    for (int c : {0, 3, 4, 10, 12})
        EXPECT_TRUE(minihost::stores(*image, c)) << c;
    for (int c : {-1, 5, 11, 13, 127, 128})
        EXPECT_FALSE(minihost::stores(*image, c)) << c;
    EXPECT_TRUE(allZero(*image));
}

TEST(StoredImage, ReadFillsStoredChannelsZeroesTheLowOnesAndKeepsTheHighOnes) {
    auto image = minihost::makeImage(4, 3, {12, 4, 40});
    fillDistinct(*image, 1.5f);
    const FloatPixel before = testsupport::garbageRecord();
    for (auto [x, y] : {std::pair{0, 0}, {3, 0}, {2, 1}, {3, 2}}) {
        FloatPixel record = before;
        PixelAccessor accessor(*image);
        accessor.MoveTo(x, y);
        accessor.ReadPixel(record);
        for (int c = 0; c < FloatPixel::Channels; ++c) {
            const float expected = minihost::stores(*image, c) ? minihost::sample(*image, x, y, c)
                                   : c < 16                    ? 0.0f
                                                               : before[c];
            EXPECT_EQ(bits(record[c]), bits(expected)) << x << "," << y << " channel " << c;
        }
    }
}

TEST(StoredImage, WriteStoresStoredChannelsOnly) {
    auto image = minihost::makeImage(4, 3, {11, 4});
    const FloatPixel written = testsupport::distinctRecord(-100.0f);
    writeAt(*image, 2, 1, written);
    for (int y = 0; y < image->Height; ++y)
        for (int x = 0; x < image->Width; ++x)
            for (int c : minihost::channels(*image)) {
                const float expected = x == 2 && y == 1 ? written[c] : 0.0f;
                EXPECT_EQ(bits(minihost::sample(*image, x, y, c)), bits(expected))
                    << x << "," << y << " channel " << c;
            }
    const FloatPixel back = readAt(*image, 2, 1);
    EXPECT_EQ(bits(back[5]), 0U);
    EXPECT_EQ(bits(back[15]), 0U);
}

TEST(StoredImage, WithoutExtraChannelsHasNoSecondPlane) {
    auto image = minihost::makeImage(3, 2, {});
    EXPECT_EQ(image->SecondRows, nullptr);
    fillDistinct(*image, 9.0f);
    writeAt(*image, 1, 1, testsupport::distinctRecord(3.0f));
    const FloatPixel record = readAt(*image, 1, 1);
    for (int c = 0; c < FloatPixel::Channels; ++c)
        if (c < 16) {
            EXPECT_EQ(bits(record[c]), bits(c < 4 ? 3.0f + static_cast<float>(c) * 0.25f : 0.0f))
                << c;
        }
}

TEST(StoredImage, EmptyImagesAreValid) {
    for (auto [width, height] : {std::pair{0, 4}, {4, 0}, {0, 0}}) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        auto image = minihost::makeImage(width, height, {4, 11});
        EXPECT_EQ(image->Width, width);
        EXPECT_EQ(image->Height, height);
        EXPECT_EQ(minihost::channels(*image), (std::vector<int>{0, 1, 2, 3, 4, 11}));
        PixelAccessor accessor(*image); // a chunk builds one even when there is nothing to do
        auto made = newImageLike(*image);
        ASSERT_TRUE(made);
        EXPECT_EQ(made->Width, width);
        EXPECT_EQ(made->Height, height);
    }
}

TEST(StoredImage, LargePlanesStartZeroFilled) {
    // Both planes over 2 MiB, so both are mapped; the next image may get the same memory.
    const int width = 1024, height = 600;
    auto first = minihost::makeImage(width, height, {4, 10});
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c : minihost::channels(*first))
                minihost::sample(*first, x, y, c) = -1.0f;
    first.reset();

    auto again = minihost::makeImage(width, height, {11, 12});
    EXPECT_TRUE(allZero(*again));
    auto other = minihost::makeImage(width, height + 1, {4, 10});
    EXPECT_TRUE(allZero(*other));
}

TEST(StoredImage, RejectsBadChannelNumbersAndSizes) {
    const std::vector<std::vector<int>> bad = {{3}, {0}, {-1}, {128}, {4, 4}, {4, 12, 4}};
    for (const auto& extra : bad)
        EXPECT_THROW(minihost::makeImage(2, 2, extra), std::invalid_argument);
    EXPECT_THROW(minihost::makeImage(-1, 2, {}), std::invalid_argument);
    EXPECT_THROW(minihost::makeImage(2, -1, {}), std::invalid_argument);

    std::vector<int> every;
    for (int c = 127; c >= 4; --c)
        every.push_back(c);
    auto full = minihost::makeImage(2, 2, every);
    EXPECT_EQ(full->SecondStride, 124 * 4);
}

TEST(NewImage, TakesSizeAndChannelsOfTheSourceZeroFilled) {
    auto source = minihost::makeImage(4, 3, {12, 4, 10});
    fillDistinct(*source, 2.0f);
    auto made = newImageLike(*source);
    ASSERT_TRUE(made);
    EXPECT_NE(made.get(), source.get());
    EXPECT_EQ(made->Width, 4);
    EXPECT_EQ(made->Height, 3);
    EXPECT_EQ(minihost::channels(*made), minihost::channels(*source));
    EXPECT_TRUE(allZero(*made));
    EXPECT_EQ(bits(minihost::sample(*source, 3, 2, 10)), bits(2.0f + 10 + 128 * (3 + 32)));
}

TEST(NewImage, GivesNullOutsideARender) {
    auto source = minihost::makeImage(2, 2, {4});
    EXPECT_EQ(NewImage(TAG_ImageLike, source.get(), TAG_DONE), nullptr);
}
