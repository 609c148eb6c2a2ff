// --frames: frame lists, number patterns in paths, one line per frame, and failures mid-sequence.

#include "tests/app/ProgramTest.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace apptest {
namespace {

class Sequence : public ProgramTest {
  protected:
    // Frame f holds f in channel "frame", so each output shows which input it came from.
    void writeFrame(const std::string& name, int frame) {
        writeFile(Folder.path(name), makeFile(5, 4, {"Z", "frame"}, [frame](int x, int y, int c) {
                      return c == 0 ? static_cast<float>(x + y) : static_cast<float>(frame);
                  }));
    }

    float frameIn(const std::string& name) { return readFile(Folder.path(name)).at(2, 1, "frame"); }

    // An empty folder but for frames in.0001.exr to in.000N.exr.
    void onlyFrames(int count) {
        for (const std::string& entry : Folder.entries())
            std::filesystem::remove_all(Folder.path(entry));
        for (int frame = 1; frame <= count; ++frame)
            writeFrame("in.000" + std::to_string(frame) + ".exr", frame);
    }
};

TEST_F(Sequence, ThreeFramesEachFromItsOwnFile) {
    for (int frame = 1; frame <= 3; ++frame)
        writeFrame("in." + std::string("000") + std::to_string(frame) + ".exr", frame);
    const Outcome run = inProcess({"render", Folder.path("in.####.exr"), "-o",
                                   Folder.path("out.####.exr"), "--frames", "1-3"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (int frame = 1; frame <= 3; ++frame)
        EXPECT_EQ(frameIn("out.000" + std::to_string(frame) + ".exr"), static_cast<float>(frame));
    // Not a terminal: one plain line per finished frame, in order.
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < run.err.size();) {
        const std::size_t end = run.err.find('\n', at);
        lines.push_back(run.err.substr(at, end - at));
        at = end + 1;
    }
    ASSERT_EQ(lines.size(), 3u) << run.err;
    for (int frame = 1; frame <= 3; ++frame)
        EXPECT_TRUE(isMessage(lines[static_cast<std::size_t>(frame - 1)],
                              {"frame " + std::to_string(frame), " s"}));
}

TEST_F(Sequence, MissingPatternWithoutFramesPointsToTheOption) {
    struct Case {
        const char* input;
        bool hinted;
    };
    for (const Case& c : {Case{"in.####.exr", true}, Case{"in.%04d.exr", true},
                          Case{"in.@@.exr", true}, Case{"in.exr", false}}) {
        SCOPED_TRACE(c.input);
        const std::string input = Folder.path(c.input);
        const Outcome run = inProcess({"render", input, "-o", Folder.path("out.exr")});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "umbrix: " + input + ": cannot read: No such file or directory" +
                               (c.hinted ? " (render a sequence with --frames)" : "") + "\n");
    }
}

TEST_F(Sequence, QuietPrintsNothing) {
    writeFrame("in.0001.exr", 1);
    const Outcome run = inProcess({"render", Folder.path("in.####.exr"), "-o",
                                   Folder.path("out.####.exr"), "--frames", "1", "--quiet"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "");
}

TEST_F(Sequence, FrameListsTakeStepsDescentAndCommas) {
    for (int frame = 1; frame <= 7; ++frame)
        writeFrame("in." + std::to_string(frame) + ".exr", frame);
    ASSERT_EQ(inProcess({"render", Folder.path("in.@.exr"), "-o", Folder.path("a.@@@.exr"),
                         "--frames", "7-1x3", "-q"})
                  .status,
              0);
    ASSERT_EQ(inProcess({"render", Folder.path("in.%d.exr"), "-o", Folder.path("b.%02d.exr"),
                         "--frames", "2,4-5", "-q"})
                  .status,
              0);
    ASSERT_EQ(inProcess({"render", Folder.path("in.@.exr"), "-o", Folder.path("c.#.exr"),
                         "--frames", "6", "-q"})
                  .status,
              0);
    std::vector<std::string> expected = {"a.001.exr", "a.004.exr", "a.007.exr", "b.02.exr",
                                         "b.04.exr",  "b.05.exr",  "c.0006.exr"};
    for (int frame = 1; frame <= 7; ++frame)
        expected.push_back("in." + std::to_string(frame) + ".exr");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Folder.entries(), expected);
    EXPECT_EQ(frameIn("a.004.exr"), 4.0f);
    EXPECT_EQ(frameIn("b.05.exr"), 5.0f);
    EXPECT_EQ(frameIn("c.0006.exr"), 6.0f);
}

TEST_F(Sequence, FailedFrameStopsTheRunAndEarlierFramesStayWhole) {
    // Frames are read, rendered and written at once, so frames after the failed one may be
    // read or rendered already: none of them may be written, and no temporary file stays.
    struct Fault {
        const char* what;
        std::function<void()> make;
        std::vector<std::string> message;
    };
    const std::vector<Fault> faults = {
        {"missing input",
         [&] { std::filesystem::remove(Folder.path("in.0003.exr")); },
         {"in.0003.exr", "No such file"}},
        {"truncated input",
         [&] {
             const std::string path = Folder.path("in.0003.exr");
             std::filesystem::resize_file(path, std::filesystem::file_size(path) * 3 / 4);
         },
         {"in.0003.exr", "cannot read"}},
        {"a folder where the output goes",
         [&] { std::filesystem::create_directory(Folder.path("out.0003.exr")); },
         {"out.0003.exr", "folder"}},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.what);
        onlyFrames(5);
        fault.make();
        const Outcome run = inProcess({"render", Folder.path("in.####.exr"), "-o",
                                       Folder.path("out.####.exr"), "--frames", "1-5"});
        EXPECT_EQ(run.status, 1);
        const std::string last = run.err.substr(run.err.rfind("umbrix: "));
        std::vector<std::string> parts = fault.message;
        parts.insert(parts.end(), {"frame 3", "2 of 5 frames written"});
        EXPECT_TRUE(isMessage(last, parts));
        std::vector<std::string> outputs;
        for (const std::string& entry : Folder.entries())
            if (entry.rfind("in.", 0) != 0)
                outputs.push_back(entry);
        const bool folderInTheWay = std::string(fault.what).find("folder") != std::string::npos;
        std::vector<std::string> expected = {"out.0001.exr", "out.0002.exr"};
        if (folderInTheWay)
            expected.push_back("out.0003.exr");
        EXPECT_EQ(outputs, expected);
        EXPECT_EQ(frameIn("out.0001.exr"), 1.0f);
        EXPECT_EQ(frameIn("out.0002.exr"), 2.0f);
    }
}

TEST_F(Sequence, FramesInThePipelineComeOutAsFramesRenderedOneByOne) {
    for (int frame = 1; frame <= 4; ++frame)
        writeFile(Folder.path("in.000" + std::to_string(frame) + ".exr"),
                  sceneFile(11 + frame, 9,
                            {{"Z", Role::Depth},
                             {"N.X", Role::NormalX},
                             {"N.Y", Role::NormalY},
                             {"N.Z", Role::NormalZ},
                             {"id", Role::Other}}));
    const std::vector<std::string> settings = setArguments({{"UseSSAO", "1"}, {"Matrix", "2"}});
    std::vector<std::string> args = {
        "render", Folder.path("in.####.exr"), "-o", Folder.path("seq.####.exr"), "--frames", "1-4",
        "-q"};
    args.insert(args.end(), settings.begin(), settings.end());
    ASSERT_EQ(inProcess(args).status, 0);
    for (int frame = 1; frame <= 4; ++frame) {
        const std::string n = "000" + std::to_string(frame);
        args = {"render", Folder.path("in." + n + ".exr"), "-o", Folder.path("one." + n + ".exr"),
                "-q"};
        args.insert(args.end(), settings.begin(), settings.end());
        ASSERT_EQ(inProcess(args).status, 0);
        const FileData one = readFile(Folder.path("one." + n + ".exr"));
        EXPECT_TRUE(sameChannelBits(one, readFile(Folder.path("seq." + n + ".exr")),
                                    one.header.channelnames));
    }
}

TEST_F(Sequence, BadFrameListsAndMissingPatternsAreUsageErrors) {
    writeFrame("in.0001.exr", 1);
    const std::vector<std::vector<std::string>> calls = {
        {Folder.path("in.####.exr"), "-o", Folder.path("out.####.exr"), "--frames", "1-"},
        {Folder.path("in.####.exr"), "-o", Folder.path("out.####.exr"), "--frames", "1-5x0"},
        {Folder.path("in.####.exr"), "-o", Folder.path("out.####.exr"), "--frames", "a"},
        {Folder.path("in.####.exr"), "-o", Folder.path("out.####.exr"), "--frames", "1,,2"},
        {Folder.path("in.####.exr"), "-o", Folder.path("out.exr"), "--frames", "1"},
        {Folder.path("in.0001.exr"), "-o", Folder.path("out.####.exr"), "--frames", "1"},
        {Folder.path("in.####.exr"), "-o", Folder.path("out.####.exr"), "--frames", "1",
         "--preview", Folder.path("p.png")},
    };
    for (const auto& call : calls) {
        std::vector<std::string> args = {"render"};
        args.insert(args.end(), call.begin(), call.end());
        const Outcome run = inProcess(args);
        EXPECT_EQ(run.status, 2) << call[4];
        EXPECT_TRUE(isMessage(run.err, {"--frames"}));
    }
    EXPECT_EQ(Folder.entries(), std::vector<std::string>{"in.0001.exr"});
}

// A dry run reads and checks every frame as a run would, ends as it would, and writes nothing.
TEST_F(Sequence, DryRunEndsAsTheRunWouldAndWritesNothing) {
    struct Case {
        const char* what;
        std::function<void()> make;
        std::vector<std::string> extra;
        int status;
        std::vector<std::string> message; // of the last line
        std::string output = "out.####.exr";
    };
    const std::vector<Case> cases = {
        {"every frame readable", [] {}, {}, 0, {"dry run", "5 of 5 frames", "nothing"}},
        {"a truncated frame",
         [&] {
             const std::string path = Folder.path("in.0004.exr");
             std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
         },
         {},
         1,
         {"frame 4", "in.0004.exr", "cannot read", "3 of 5 frames checked"}},
        {"a folder where an output goes",
         [&] { std::filesystem::create_directory(Folder.path("out.0002.exr")); },
         {},
         1,
         {"frame 2", "out.0002.exr", "folder"}},
        {"a missing output folder",
         [] {},
         {},
         1,
         {"none/out.0001.exr", "No such file"},
         "none/out.####.exr"},
        {"a mistyped control", [] {}, {"--set", "Matirx=3"}, 2, {"did you mean 'Matrix'?"}},
        {"a channel the frames lack", [] {}, {"--map", "P=depth"}, 2, {"no channel 'P'"}},
        {"a frame skipped",
         [&] { std::filesystem::remove(Folder.path("in.0003.exr")); },
         {"--skip-bad-frames"},
         1,
         {"skipped 1 of 5 frames", ": 3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        onlyFrames(5);
        c.make();
        const std::vector<std::string> before = Folder.entries();
        std::vector<std::string> args = {"render",
                                         Folder.path("in.####.exr"),
                                         "-o",
                                         Folder.path(c.output),
                                         "--frames",
                                         "1-5",
                                         "-n",
                                         "--save-settings",
                                         Folder.path("look.json")};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const Outcome run = inProcess(args);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_TRUE(isMessage(run.err.substr(run.err.rfind("umbrix: ")), c.message)) << run.err;
        EXPECT_EQ(Folder.entries(), before);
    }
}

// A frame that cannot be read is reported and left out, in its turn; the others are rendered, and
// the run ends with one line naming the frames left out. Any other failure still stops the run.
TEST_F(Sequence, SkipBadFramesRendersTheRest) {
    onlyFrames(6);
    std::filesystem::remove(Folder.path("in.0002.exr"));
    std::filesystem::resize_file(Folder.path("in.0003.exr"), 100);
    std::filesystem::resize_file(Folder.path("in.0005.exr"), 0);
    const std::vector<std::string> args = {
        "render", Folder.path("in.####.exr"), "-o", Folder.path("out.####.exr"), "--frames",
        "1-6",    "--skip-bad-frames"};
    const Outcome run = inProcess(args);
    EXPECT_EQ(run.status, 1);
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < run.err.size(); at = run.err.find('\n', at) + 1)
        lines.push_back(run.err.substr(at, run.err.find('\n', at) - at));
    const std::vector<std::vector<std::string>> expected = {
        {"frame 1", "done"},
        {"frame 2", "in.0002.exr", "No such file", "skipped"},
        {"frame 3", "in.0003.exr", "cannot read", "skipped"},
        {"frame 4", "done"},
        {"frame 5", "in.0005.exr", "skipped"},
        {"frame 6", "done"},
        {"skipped 3 of 6 frames", "could not be read: 2-3,5"}};
    ASSERT_EQ(lines.size(), expected.size()) << run.err;
    for (std::size_t k = 0; k < lines.size(); ++k)
        EXPECT_TRUE(isMessage(lines[k], expected[k]));
    std::vector<std::string> outputs;
    for (const std::string& entry : Folder.entries())
        if (entry.rfind("in.", 0) != 0)
            outputs.push_back(entry);
    EXPECT_EQ(outputs, (std::vector<std::string>{"out.0001.exr", "out.0004.exr", "out.0006.exr"}));
    for (int frame : {1, 4, 6})
        EXPECT_EQ(frameIn("out.000" + std::to_string(frame) + ".exr"), static_cast<float>(frame));

    std::filesystem::create_directory(Folder.path("out.0006.exr.tmp"));
    std::filesystem::remove(Folder.path("out.0006.exr"));
    std::filesystem::rename(Folder.path("out.0006.exr.tmp"), Folder.path("out.0006.exr"));
    const Outcome stopped = inProcess(args);
    EXPECT_EQ(stopped.status, 1);
    EXPECT_TRUE(isMessage(stopped.err.substr(stopped.err.rfind("umbrix: ")),
                          {"frame 6", "out.0006.exr", "folder", "stopped"}))
        << stopped.err;
}

} // namespace
} // namespace apptest
