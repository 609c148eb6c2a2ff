#pragma once

#include "tests/reference/ReferenceRender.h"
#include "tests/support/Random.h"
#include "tests/support/ToolFixture.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <vector>

namespace rendertest {

using minihost::ImagePtr;
using testsupport::bits;
using testsupport::Random;

// Where two different NaNs meet in one operation either may come out, as the compiler orders the
// operands, so no output would be defined. A random render therefore carries one NaN: the one
// invalid operations make (with infinities, which make it too, and NaN controls), or another one
// with neither, which only reaches the output along paths it has to itself.
float generatedNaN();
float randomNaN(Random& random);

// An image storing R G B A and `extra`, every stored sample set from value(x, y, channel).
ImagePtr filledImage(int width, int height, const std::vector<int>& extra,
                     const std::function<float(int, int, int)>& value);
// An image storing R G B A (zeros) and depth only.
ImagePtr depthImage(int width, int height, const std::function<float(int, int)>& depth);

// A random source: colour, depth with `nan` and infinities sprinkled in, supplied normals, an extra
// channel, in the layout given or one of several.
ImagePtr randomImage(int width, int height, const std::vector<int>& extra, Random& random,
                     float nan = generatedNaN());
ImagePtr randomImage(int width, int height, Random& random, float nan);
// Random controls, edge values included; NaN values only when `nan` is generatedNaN().
ReferenceControls randomControls(Random& random, float nan = generatedNaN());

float at(const Image& image, int x, int y, int channel);

// Every sample of every channel that `expected` stores, but those `skipped`, equal to the bit.
::testing::AssertionResult sameBitsExcept(const Image& expected, const Image& actual,
                                          std::initializer_list<int> skipped);

// Sets the thread count for its lifetime; back to one per core afterwards.
class ThreadCount {
  public:
    explicit ThreadCount(int threads) { minihost::setThreads(threads); }
    ~ThreadCount() { minihost::setThreads(0); }
    ThreadCount(const ThreadCount&) = delete;
    ThreadCount& operator=(const ThreadCount&) = delete;
};

class RenderTest : public testsupport::ToolTest {
  protected:
    void apply(Operator& op, const ReferenceControls& controls);
    // The tool's output; throws when the render fails, so that a test stops there.
    ImagePtr renderTool(Operator& op, Image& source, const ReferenceControls& controls);
    ImagePtr renderTool(Image& source, const ReferenceControls& controls) {
        return renderTool(*Tool, source, controls);
    }
    // The tool's output, expected to match the reference bit for bit.
    ImagePtr renderChecked(Image& source, const ReferenceControls& controls);
};

// Controls that run the occlusion pass alone, counting every neighbour deeper by 0 to 100 with the
// normals comparison disabled: each counting neighbour subtracts exactly `amount`.
ReferenceControls countingControls(double matrix, double amount);

} // namespace rendertest
