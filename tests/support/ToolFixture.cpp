#include "tests/support/ToolFixture.h"

#include "tool/ClassIdentifier.h"

#include <fmt/format.h>

namespace testsupport {

void ToolTest::SetUp() {
    Plugin = std::make_unique<minihost::Plugin>(UMBRIX_PLUGIN_PATH);
    Tool = newTool();
    ASSERT_TRUE(Tool);
}

void ToolTest::TearDown() {
    Tool.reset();
    Plugin.reset();
}

const Registry& ToolTest::toolClass() {
    const Registry* reg = minihost::findClass(UmbrixClassIdentifier);
    if (!reg)
        throw std::runtime_error("tool class not registered");
    return *reg;
}

minihost::OperatorPtr ToolTest::newTool() {
    return minihost::create(toolClass());
}

Input& ToolTest::input(Operator& op, const char* id) {
    Input* in = minihost::findInput(op, id);
    if (!in)
        throw std::runtime_error(std::string("no input ") + id);
    return *in;
}

void ToolTest::set(Operator& op, const char* id, double value) {
    minihost::setValue(op, input(op, id), value);
}

minihost::ImagePtr ToolTest::render(Operator& op, Image& source, bool* ok) {
    minihost::connect(input(op, "Input"), &source);
    auto result = minihost::render(op);
    if (ok)
        *ok = result.ok;
    minihost::connect(input(op, "Input"), nullptr);
    if (!result.ok)
        return nullptr;
    return result.takeImage(minihost::findOutput(op, "Output"));
}

::testing::AssertionResult sameBits(const Image& expected, const Image& actual) {
    if (expected.Width != actual.Width || expected.Height != actual.Height)
        return ::testing::AssertionFailure()
               << fmt::format("size {}x{} != {}x{}", expected.Width, expected.Height, actual.Width,
                              actual.Height);
    if (minihost::channels(expected) != minihost::channels(actual))
        return ::testing::AssertionFailure() << "different channels";
    int mismatches = 0;
    std::string first;
    for (int y = 0; y < expected.Height; ++y)
        for (int x = 0; x < expected.Width; ++x)
            for (int channel : minihost::channels(expected)) {
                const float e = minihost::sample(expected, x, y, channel);
                const float a = minihost::sample(actual, x, y, channel);
                if (bits(e) != bits(a)) {
                    if (mismatches++ == 0)
                        first = fmt::format("({}, {}) channel {}: expected {} ({:08x}), got {} "
                                            "({:08x})",
                                            x, y, channel, e, bits(e), a, bits(a));
                }
            }
    if (mismatches)
        return ::testing::AssertionFailure() << mismatches << " samples differ; first at " << first;
    return ::testing::AssertionSuccess();
}

} // namespace testsupport
