#include "tests/render/RenderTest.h"

#include <atomic>
#include <fmt/format.h>
#include <ostream>
#include <stop_token>

namespace rendertest {
namespace {

struct Shape {
    int width, height;
};

std::ostream& operator<<(std::ostream& out, const Shape& shape) {
    return out << shape.width << "x" << shape.height;
}

class RenderDifferential : public RenderTest, public ::testing::WithParamInterface<Shape> {};

// Random sources and controls, every output sample equal to the reference's to the bit.
TEST_P(RenderDifferential, RandomSourcesMatchReference) {
    const Shape shape = GetParam();
    Random random(static_cast<std::uint32_t>(shape.width * 1000 + shape.height));
    for (int trial = 0; trial < 16; ++trial) {
        const float nan = randomNaN(random);
        const ImagePtr source = randomImage(shape.width, shape.height, random, nan);
        const ReferenceControls c = randomControls(random, nan);
        SCOPED_TRACE(fmt::format(
            "trial {} NaN {:08x}: UseNormals {} UseSSAO {} FilterMethod {} Matrix {} "
            "Amount {} SmalDepth {} DepthThreshold {} Angle {} Z {} FOV {}",
            trial, bits(nan), c.UseNormals, c.UseSSAO, c.FilterMethod, c.Matrix, c.Amount,
            c.SmalDepth, c.DepthThreshold, c.NormalsAngleControll, c.NormalsZControll, c.CamFOV));
        renderChecked(*source, c);
    }
}

// Square, 1 wide, 1 tall, narrower than tall (q = 0), and W = 2H - 1, 2H, 2H + 1 around the
// integer quotient's steps.
INSTANTIATE_TEST_SUITE_P(Shapes, RenderDifferential,
                         ::testing::Values(Shape{1, 1}, Shape{1, 9}, Shape{9, 1}, Shape{2, 3},
                                           Shape{4, 9}, Shape{12, 12}, Shape{7, 4}, Shape{8, 4},
                                           Shape{9, 4}, Shape{9, 5}, Shape{10, 5}, Shape{11, 5},
                                           Shape{37, 23}),
                         [](const ::testing::TestParamInfo<Shape>& shape) {
                             return fmt::format("W{}H{}", shape.param.width, shape.param.height);
                         });

// A window reaching past every edge of the image, in every mode: its work is clipped to the
// image (the calculated normals formed for the rows it reaches included), and the result is the
// literal reference's, to the bit.
class ClippedWindows : public RenderTest {};

TEST_F(ClippedWindows, HugeMatrixMatchesLiteral) {
    Random random(400);
    const ImagePtr source = randomImage(37, 23, {4, 10, 11, 12}, random);
    for (const double filterMethod : {0.0, 1.0, 2.0})
        for (const double useNormals : {1.0, 0.0})
            for (const double matrix : {23.0, 37.0, 400.0, 1000.0, 1e9}) {
                ReferenceControls c;
                c.UseNormals = useNormals;
                c.UseSSAO = 1.0;
                c.FilterMethod = filterMethod;
                c.Matrix = matrix;
                c.Amount = 0.001;
                c.DepthThreshold = 2.0;
                SCOPED_TRACE(fmt::format("FilterMethod {} UseNormals {} Matrix {}", filterMethod,
                                         useNormals, matrix));
                renderChecked(*source, c);
            }
}

class RenderThreads : public RenderTest {};

TEST_F(RenderThreads, OneAndEightThreadsGiveTheSameBits) {
    Random random(2024);
    for (const double useNormals : {1.0, 0.0}) {
        const ImagePtr source = randomImage(48, 40, {4, 10, 11, 12, 20}, random);
        ReferenceControls c;
        c.UseNormals = useNormals;
        c.UseSSAO = 1.0;
        c.FilterMethod = 1.0;
        c.Matrix = 6.0;
        c.SmalDepth = 0.25;
        c.DepthThreshold = 3.0;
        // Many threads first: the worker pool keeps the size of the first one it is given.
        ImagePtr many;
        {
            ThreadCount threads(8);
            many = renderChecked(*source, c);
        }
        ThreadCount threads(1);
        const ImagePtr single = renderTool(*source, c);
        EXPECT_TRUE(testsupport::sameBits(*many, *single));
        int occluded = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 48; ++x)
                occluded += at(*single, x, y, 3) != 1.0f;
        EXPECT_GT(occluded, 100);
    }
}

// A render stopped partway (a host's answer to changed inputs) starts no chunk after the stop,
// and the operator's next render is whole.
TEST_F(RenderThreads, AStoppedRenderStartsNoMoreChunksAndTheNextIsWhole) {
    ThreadCount threads(2);
    Random random(77);
    const ImagePtr source = randomImage(16, 96, {4, 10, 11, 12}, random);
    ReferenceControls c;
    c.UseSSAO = 1.0;
    c.Matrix = 3.0;
    c.DepthThreshold = 3.0;
    apply(*Tool, c);
    std::atomic<int> chunks{0};
    std::stop_source stopping;
    // Each chunk done asks to stop before its thread can start another: one chunk a thread.
    minihost::setChunkObserver([&] {
        stopping.request_stop();
        ++chunks;
    });
    const auto stoppedRun = [&](std::stop_token stop) {
        minihost::connect(input(*Tool, "Input"), source.get());
        const minihost::RenderResult result = minihost::render(*Tool, 0.0, std::move(stop));
        minihost::connect(input(*Tool, "Input"), nullptr);
        EXPECT_TRUE(result.abandoned);
        return chunks.exchange(0);
    };
    const int ran = stoppedRun(stopping.get_token());
    std::stop_source before;
    before.request_stop();
    const int ranStoppedBefore = stoppedRun(before.get_token());
    renderChecked(*source, c);
    minihost::setChunkObserver(nullptr);
    EXPECT_LE(ran, 2);
    EXPECT_EQ(ranStoppedBefore, 0);
    EXPECT_GT(chunks.load(), 8) << "a whole render's chunks";
}

} // namespace
} // namespace rendertest
