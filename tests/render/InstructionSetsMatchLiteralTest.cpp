#include "tests/render/RenderTest.h"
#include "tests/support/InstructionSets.h"

#include <fmt/format.h>

namespace rendertest {
namespace {

// The whole render, through the loaded tool, with each instruction set the dispatch can pick on
// this machine forced in turn: every output sample equals the reference's to the bit.
class InstructionSetsMatchLiteral : public RenderTest {};

TEST_F(InstructionSetsMatchLiteral, EveryInstructionSetMatchesTheReference) {
    const std::pair<int, int> shapes[] = {{37, 23}, {70, 9}, {9, 40}, {17, 17}};
    testsupport::EachInstructionSet().run([&](std::int64_t target) {
        Random random(static_cast<std::uint32_t>(target % 1000003));
        for (const auto& [width, height] : shapes)
            for (int trial = 0; trial < 6; ++trial) {
                const float nan = randomNaN(random);
                const ImagePtr source = randomImage(width, height, random, nan);
                ReferenceControls c = randomControls(random, nan);
                c.UseSSAO = 1.0;
                SCOPED_TRACE(fmt::format("{}x{} trial {}: UseNormals {} FilterMethod {} Matrix {} "
                                         "SmalDepth {} DepthThreshold {} Angle {}",
                                         width, height, trial, c.UseNormals, c.FilterMethod,
                                         c.Matrix, c.SmalDepth, c.DepthThreshold,
                                         c.NormalsAngleControll));
                renderChecked(*source, c);
            }
    });
}

} // namespace
} // namespace rendertest
