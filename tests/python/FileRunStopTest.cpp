// The Python module's run of files stopped between frames, as Ctrl-C stops it: in-process, since
// a signal's arrival cannot be placed at a frame boundary from outside.

#include "python/module/FileRender.h"
#include "tests/app/ExrFiles.h"
#include "tests/app/ProgramTest.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

namespace apptest {
namespace {

TEST(PythonFileRun, StopsBetweenFramesWithEveryFileBeforeWrittenWhole) {
    ScratchFolder folder;
    for (int frame = 1; frame <= 4; ++frame) {
        ExrPart part = exrPart(9, 7);
        addChannel(part, "Z", Imf::FLOAT, [&](int x, int y) { return 1.0 + 0.1 * x + frame * y; });
        writeExrFile(folder.path(fmt::format("in.{}.exr", frame)), {part});
    }
    const umbrix::Tool tool(UMBRIX_PLUGIN_PATH);
    umbrix::RenderOptions options;
    options.input = folder.path("in.@.exr");
    options.output = folder.path("out.@.exr");
    options.frames = "1-4";
    options.quiet = true;
    int asked = 0;
    // Asked before frames 2 and 3 render: the second time, the answer is to stop.
    EXPECT_THROW(umbrix::python::renderFiles(options, tool, tool.defaults(),
                                             [&asked] { return ++asked == 2; }),
                 umbrix::python::Stopped);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"in.1.exr", "in.2.exr", "in.3.exr",
                                                          "in.4.exr", "out.1.exr", "out.2.exr"}));
    for (const char* name : {"out.1.exr", "out.2.exr"})
        EXPECT_NE(readExrFile(folder.path(name)).front().channel("A"), nullptr) << name;
}

} // namespace
} // namespace apptest
