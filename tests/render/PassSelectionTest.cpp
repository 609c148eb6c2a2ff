#include "tests/render/RenderTest.h"

#include <cmath>
#include <limits>
#include <thread>

namespace rendertest {
namespace {

class PassSelection : public RenderTest {};

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

ReferenceControls switches(double useNormals, double useSSAO) {
    ReferenceControls c = countingControls(2.0, 0.125);
    c.UseNormals = useNormals;
    c.UseSSAO = useSSAO;
    return c;
}

TEST_F(PassSelection, EachSwitchCombinationRunsItsPasses) {
    Random random(11);
    const ImagePtr source = randomImage(9, 6, {4, 10, 11, 12, 20}, random);
    for (const bool normals : {false, true})
        for (const bool occlusion : {false, true}) {
            SCOPED_TRACE(testing::Message() << "normals " << normals << " SSAO " << occlusion);
            const ImagePtr out = renderChecked(*source, switches(normals, occlusion));
            if (!normals && !occlusion) {
                EXPECT_TRUE(
                    testsupport::sameBits(*minihost::makeImage(9, 6, {4, 10, 11, 12, 20}), *out))
                    << "a pixel was written";
            } else if (!occlusion) {
                EXPECT_TRUE(sameBitsExcept(*source, *out, {0, 1, 2}));
            } else {
                EXPECT_TRUE(sameBitsExcept(*source, *out, {0, 1, 2, 3}));
                EXPECT_FALSE(sameBitsExcept(*source, *out, {0, 1, 2}));
            }
            if (!normals && occlusion) {
                EXPECT_EQ(bits(at(*out, 4, 3, 0)), bits(0.0f));
            }
        }
}

// A switch is on when its value as a float is not 0.0: NaN is on, 1e-50 rounds to 0.0 and is off.
// Each switch is tried with the other one off and on.
TEST_F(PassSelection, SwitchIsOnWhenItsFloatIsNotZero) {
    Random random(12);
    const ImagePtr source = randomImage(8, 5, {4, 10, 11, 12}, random);
    using Switch = double ReferenceControls::*;
    for (const auto& [control, other] :
         {std::pair<Switch, Switch>{&ReferenceControls::UseNormals, &ReferenceControls::UseSSAO},
          {&ReferenceControls::UseSSAO, &ReferenceControls::UseNormals}})
        for (const double otherValue : {0.0, 1.0}) {
            ReferenceControls on = switches(1.0, 1.0);
            on.FilterMethod = 1.0;
            on.NormalsAngleControll = 0.0;
            on.*other = otherValue;
            ReferenceControls off = on;
            off.*control = 0.0;
            const ImagePtr onOut = renderChecked(*source, on);
            const ImagePtr offOut = renderChecked(*source, off);
            ASSERT_FALSE(testsupport::sameBits(*onOut, *offOut)) << "the switch changes nothing";
            for (const double value : {0.5, -1.0, NaN, 1e-50}) {
                SCOPED_TRACE(testing::Message() << "value " << value << " other " << otherValue);
                ReferenceControls c = on;
                c.*control = value;
                EXPECT_TRUE(testsupport::sameBits(value == 1e-50 ? *offOut : *onOut,
                                                  *renderTool(*source, c)));
            }
        }
}

TEST_F(PassSelection, EmptyImagesRender) {
    for (const auto& [width, height] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{0, 0}}) {
        const ImagePtr source = minihost::makeImage(width, height, {4, 10, 11, 12});
        ReferenceControls c = switches(1.0, 1.0);
        apply(*Tool, c);
        bool ok = false;
        const ImagePtr out = render(*Tool, *source, &ok);
        EXPECT_TRUE(ok) << width << "x" << height;
        ASSERT_TRUE(out) << width << "x" << height;
        EXPECT_EQ(out->Width, width);
        EXPECT_EQ(out->Height, height);
        EXPECT_EQ(minihost::channels(*out), minihost::channels(*source));
    }
}

// Each instance keeps its own selection while both render at once.
TEST_F(PassSelection, TwoInstancesRenderAtOnceWithTheirOwnSwitches) {
    Random random(13);
    const minihost::OperatorPtr second = newTool();
    ASSERT_TRUE(second);
    const ImagePtr first = randomImage(40, 30, {4, 10, 11, 12, 20}, random);
    const ImagePtr other = randomImage(40, 30, {4, 10, 11, 12, 20}, random);
    const ReferenceControls normalsOnly = switches(1.0, 0.0);
    ReferenceControls occlusionOnly = switches(0.0, 1.0);
    occlusionOnly.FilterMethod = 0.0;
    occlusionOnly.Matrix = 4.0;
    apply(*Tool, normalsOnly);
    apply(*second, occlusionOnly);
    for (int round = 0; round < 3; ++round) {
        ImagePtr firstOut, otherOut;
        std::thread a([&] { firstOut = render(*Tool, *first); });
        std::thread b([&] { otherOut = render(*second, *other); });
        a.join();
        b.join();
        ASSERT_TRUE(firstOut && otherOut);
        EXPECT_TRUE(
            testsupport::sameBits(*reference::referenceRender(*first, normalsOnly), *firstOut));
        EXPECT_TRUE(
            testsupport::sameBits(*reference::referenceRender(*other, occlusionOnly), *otherOut));
    }
}

} // namespace
} // namespace rendertest
