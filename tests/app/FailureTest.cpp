// Every failure: its exit status, one message naming the file and the cause, and no file left.

#include "tests/app/ExrFiles.h"
#include "tests/app/ProgramTest.h"

#include <bit>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <future>
#include <grp.h>
#include <limits>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace apptest {
namespace {

namespace fs = std::filesystem;

constexpr int NoUnprivilegedUser = 250;

// Runs the program as this process's user, or as the user 'nobody' when that is root;
// NoUnprivilegedUser as the status when root cannot switch to it.
Outcome asUnprivileged(const std::vector<std::string>& args) {
    // A copy of the program and the libraries beside it, in a folder anyone may enter: the build
    // folder may lie where only its owner can (a home folder, a private temporary one).
    const ScratchFolder copy;
    const fs::path built(UMBRIX_PROGRAM);
    for (const auto& entry : fs::directory_iterator(built.parent_path()))
        if (entry.path() == built || entry.path().extension() == ".so" ||
            entry.path().extension() == ".plugin")
            fs::copy_file(entry.path(), copy.path(entry.path().filename()));
    fs::permissions(copy.path(""), static_cast<fs::perms>(0755));
    const ScratchFolder capture;
    const int err = open(capture.path("stderr").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ExecArguments argv(copy.path(built.filename()), args);
    // The copied libraries, before those the build folder's run paths name; as exec takes them.
    std::vector<std::string> inherited;
    for (char** variable = environ; *variable; ++variable)
        if (std::string_view(*variable).substr(0, 16) != "LD_LIBRARY_PATH=")
            inherited.emplace_back(*variable);
    ExecArguments envp("LD_LIBRARY_PATH=" + copy.path(""), inherited);
    const pid_t pid = fork();
    if (pid == 0) {
        // Only calls safe between fork and exec: the test process has threads.
        constexpr uid_t Nobody = 65534;
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(Nobody) != 0 || setuid(Nobody) != 0))
            _exit(NoUnprivilegedUser);
        dup2(err, 2);
        execve(argv.argv()[0], argv.argv(), envp.argv());
        constexpr char Failed[] = "cannot run the copied program as this user\n";
        (void)!write(2, Failed, sizeof(Failed) - 1);
        _exit(127);
    }
    close(err);
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in(capture.path("stderr"));
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            "",
            {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}};
}

class Failure : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        writeFile(Folder.path("in.exr"),
                  sceneFile(8, 6, {{"Z", Role::Depth}, {"id", Role::Other}}));
    }

    // Runs `render` with `args`; it must fail with `status` and one message holding `parts`.
    void expectFailure(const std::vector<std::string>& args, int status,
                       const std::vector<std::string>& parts) {
        std::vector<std::string> all = {"render"};
        all.insert(all.end(), args.begin(), args.end());
        const Outcome run = inProcess(all);
        EXPECT_EQ(run.status, status) << run.err;
        EXPECT_TRUE(isMessage(run.err, parts));
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_LT(run.err.size(), 1000u) << "the message quotes too much of the input";
    }

    void writeBytes(const std::string& name, const std::string& bytes) {
        std::ofstream(Folder.path(name), std::ios::binary) << bytes;
    }

    std::string readBytes(const std::string& name) {
        std::ifstream in(Folder.path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    const std::vector<std::string> OnlyInput = {"in.exr"};
};

TEST_F(Failure, MissingInput) {
    // The settings are saved only once a frame has been read.
    expectFailure({Folder.path("none.exr"), "-o", Folder.path("out.exr"), "--save-settings",
                   Folder.path("look.json")},
                  1, {"none.exr", "No such file"});
    EXPECT_EQ(Folder.entries(), OnlyInput);
}

TEST_F(Failure, CorruptInput) {
    writeBytes("corrupt.exr", std::string(4096, 'x'));
    expectFailure({Folder.path("corrupt.exr"), "-o", Folder.path("out.exr")}, 1,
                  {"corrupt.exr", "cannot read"});
    EXPECT_EQ(Folder.entries(), (std::vector<std::string>{"corrupt.exr", "in.exr"}));
}

TEST_F(Failure, TruncatedInput) {
    const std::string whole = readBytes("in.exr");
    writeBytes("cut.exr", whole.substr(0, whole.size() * 2 / 3));
    expectFailure({Folder.path("cut.exr"), "-o", Folder.path("out.exr")}, 1,
                  {"cut.exr", "cannot read"});
    EXPECT_EQ(Folder.entries(), (std::vector<std::string>{"cut.exr", "in.exr"}));
}

TEST_F(Failure, DamagedZipChunks) {
    struct Layout {
        const char* what;
        Imf::Compression compression;
        int tileSize;
    };
    for (const Layout& layout :
         {Layout{"zip", Imf::ZIP_COMPRESSION, 0}, Layout{"zips", Imf::ZIPS_COMPRESSION, 0},
          Layout{"zip tiles", Imf::ZIP_COMPRESSION, 16}}) {
        SCOPED_TRACE(layout.what);
        ExrPart part = exrPart(40, 37);
        part.compression = layout.compression;
        part.tileSize = layout.tileSize;
        for (const char* name : {"R", "Z"})
            addChannel(part, name, Imf::FLOAT, [](int x, int y) { return std::sin(x * 0.3 + y); });
        writeExrFile(Folder.path("zip.exr"), {part});
        const std::string whole = readBytes("zip.exr");
        // The last chunk ends the file; a byte near its end is inside its zlib stream.
        std::string flipped = whole;
        flipped[flipped.size() - 9] = static_cast<char>(flipped[flipped.size() - 9] ^ 0x5a);
        for (const std::string& bytes : {whole.substr(0, whole.size() - 30), flipped}) {
            writeBytes("bad.exr", bytes);
            expectFailure({Folder.path("bad.exr"), "-o", Folder.path("out.exr")}, 1,
                          {"bad.exr", "cannot read"});
            EXPECT_FALSE(fs::exists(Folder.path("out.exr")));
        }
    }
}

TEST_F(Failure, ExistingOutputIsUntouchedByAFailure) {
    writeBytes("out.exr", "previous");
    expectFailure({Folder.path("none.exr"), "-o", Folder.path("out.exr")}, 1, {"none.exr"});
    // A file size limit stops the write of a regular file partway, as a full disk would: neither
    // the old file nor a missing one may be replaced by what was written, nor anything left.
    writeFile(Folder.path("big.exr"), sceneFile(64, 48, {{"Z", Role::Depth}}));
    for (const char* name : {"out.exr", "new.exr"}) {
        SCOPED_TRACE(name);
        const Outcome run = runProgram(
            "/bin/sh", {"-c",
                        "trap '' XFSZ && ulimit -f 8 && exec \"$0\" render \"$1\" -o \"$2\" -q "
                        "--compression none",
                        UMBRIX_PROGRAM, Folder.path("big.exr"), Folder.path(name)});
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(isMessage(run.err, {name, "File too large"}));
    }
    EXPECT_TRUE(readBytes("out.exr") == "previous") << "out.exr was replaced";
    EXPECT_EQ(Folder.entries(), (std::vector<std::string>{"big.exr", "in.exr", "out.exr"}));
}

TEST_F(Failure, MissingOutputFolder) {
    expectFailure({Folder.path("in.exr"), "-o", Folder.path("no/such/out.exr")}, 1,
                  {"out.exr", "cannot write", "No such file"});
    EXPECT_EQ(Folder.entries(), OnlyInput);
}

TEST_F(Failure, OutputFolderIsAFile) {
    writeBytes("plain", "");
    expectFailure({Folder.path("in.exr"), "-o", Folder.path("plain/out.exr")}, 1,
                  {"out.exr", "not a folder"});
}

TEST_F(Failure, FullDisk) {
    // A link keeps the name's extension, which says the format; writing follows it to the device.
    fs::create_symlink("/dev/full", Folder.path("out.exr"));
    fs::create_symlink("/dev/full", Folder.path("preview.png"));
    expectFailure({Folder.path("in.exr"), "-o", Folder.path("out.exr")}, 1,
                  {"out.exr", "No space left on device"});
    expectFailure({Folder.path("in.exr"), "-o", Folder.path("fine.exr"), "-q", "--preview",
                   Folder.path("preview.png")},
                  1, {"preview.png", "No space left on device"});
    EXPECT_EQ(Folder.entries(),
              (std::vector<std::string>{"fine.exr", "in.exr", "out.exr", "preview.png"}));
    EXPECT_EQ(fs::read_symlink(Folder.path("out.exr")), "/dev/full");
    EXPECT_EQ(readFile(Folder.path("fine.exr")).header.width, 8);
}

TEST_F(Failure, ImageTooLargeToAllocate) {
    // A tiled file whose header claims far more pixels than memory holds: rewriting the tile size
    // and the data window keeps the tile count, so the file still opens.
    FileData small = sceneFile(16, 16, {{"Z", Role::Depth}});
    small.header.tile_width = small.header.tile_height = 4;
    writeFile(Folder.path("small.exr"), small);
    std::string bytes = readBytes("small.exr");
    const auto patch = [&bytes](const std::string& attribute,
                                const std::vector<std::int32_t>& values) {
        const std::size_t at = bytes.find(attribute);
        ASSERT_NE(at, std::string::npos) << attribute;
        for (std::size_t k = 0; k < values.size(); ++k)
            for (std::size_t b = 0; b < 4; ++b)
                bytes[at + attribute.size() + 4 + 4 * k + b] =
                    static_cast<char>((static_cast<std::uint32_t>(values[k]) >> (8 * b)) & 0xff);
    };
    constexpr std::int32_t tile = 16384;
    patch(std::string("dataWindow\0box2i\0", 17), {0, 0, 4 * tile - 1, 4 * tile - 1});
    patch(std::string("tiles\0tiledesc\0", 15), {tile, tile});
    writeBytes("huge.exr", bytes);
    expectFailure({Folder.path("huge.exr"), "-o", Folder.path("out.exr")}, 1,
                  {"huge.exr", "too large"});
    EXPECT_FALSE(fs::exists(Folder.path("out.exr")));
}

TEST_F(Failure, UsageErrors) {
    const std::string in = Folder.path("in.exr");
    const std::string out = Folder.path("out.exr");
    expectFailure({in, "-o", out, "--bogus"}, 2, {"--bogus"});
    expectFailure({in}, 2, {"--output"});
    expectFailure({in, "-o", Folder.path("out.unknown")}, 2, {"out.unknown", "format"});
    expectFailure({in, "-o", out, "--map", "Z=128"}, 2, {"--map Z=128", "0 to 127"});
    expectFailure({in, "-o", out, "--map", "Z=four"}, 2, {"--map Z=four"});
    expectFailure({in, "-o", out, "--map", "Z"}, 2, {"--map Z", "NAME=NUMBER"});
    expectFailure({in, "-o", out, "--map", "Z=4", "--map", "id=4"}, 2, {"4", "twice"});
    expectFailure({in, "-o", out, "--map", "Q=5"}, 2, {"in.exr", "no channel 'Q'"});
    expectFailure({in, "-o", out, "--threads", "-1"}, 2, {"--threads"});
    expectFailure({in, "-o", out, "--threads", "1025"}, 2, {"--threads", "1025", "1024"});
    expectFailure({in, "-o", Folder.path("o.####.exr")}, 2, {"o.####.exr", "--frames"});
    expectFailure(
        {Folder.path("in.%010000000d.exr"), "-o", Folder.path("o.####.exr"), "--frames", "1-2"}, 2,
        {"%010000000d", "wider than a file name"});
    expectFailure({in, "-o", out, "--preview", Folder.path("p.@@.png")}, 2,
                  {"p.@@.png", "--frames"});
    expectFailure({in, "-o", Folder.path("o.png"), "--preview", Folder.path("o.png")}, 2,
                  {"--preview", "o.png", "the output"});
    expectFailure({in, "-o", out, "--preview", Folder.path("sub/../in.exr")}, 2,
                  {"--preview", "in.exr", "the input"});
    const std::string input = readBytes("in.exr");
    expectFailure({in, "-o", out, "--save-settings", Folder.path("sub/../in.exr")}, 2,
                  {"--save-settings", "in.exr", "the input"});
    expectFailure({in, "-o", out, "--save-settings", out}, 2,
                  {"--save-settings", "out.exr", "the output"});
    expectFailure(
        {in, "-o", out, "--preview", Folder.path("p.png"), "--save-settings", Folder.path("p.png")},
        2, {"--save-settings", "p.png", "the preview"});
    expectFailure({Folder.path("s.####.exr"), "-o", Folder.path("o.####.exr"), "--frames", "1-3",
                   "--save-settings", Folder.path("o.0002.exr")},
                  2, {"--save-settings", "o.0002.exr", "frame 2 of the output"});
    expectFailure({in, "-o", out, "--set", "Matrix=" + std::string(100'000, '9') + "x"}, 2,
                  {"--set Matrix", "999...", "100001 bytes"});
    EXPECT_EQ(readBytes("in.exr"), input);
    EXPECT_EQ(Folder.entries(), OnlyInput);
}

// Loading the image formats module takes hundreds of megabytes of address space: short of them,
// the message names the file that needed it.
TEST_F(Failure, ShortOfMemoryTheMessageNamesTheFile) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory needs far more address space than any limit";
#endif
    for (const auto& [args, named] :
         {std::pair{std::string("-o out.png"), "out.png"},
          std::pair{std::string("-o out.exr --preview preview.png"), "preview.png"}}) {
        SCOPED_TRACE(named);
        const Outcome run = runProgram(
            "/bin/sh",
            {"-c", "ulimit -v 65536 && exec \"$0\" render in.exr -q " + args, UMBRIX_PROGRAM}, {});
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(isMessage(run.err, {named, "cannot load the image formats module"})) << run.err;
    }
}

// Short of address space anywhere along a run (loading, threads, reading, rendering, writing), the
// run ends: written whole, or with status 1 and a message saying memory ran out and for which
// file. A worker thread that could not start once left the run waiting for it forever; each run
// is bounded in time here so that a hang fails the test instead of stalling it.
TEST_F(Failure, ShortOfAddressSpaceARunEndsAndSaysSo) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory needs far more address space than any limit";
#endif
    writeFile(Folder.path("frame.exr"), sceneFile(320, 180, usualChannels()));
    // From too little to start the program's threads, through every stage, to enough for all; the
    // runs are independent, so a few go at once.
    struct Case {
        int megabytes, threads;
        std::future<Outcome> run;
    };
    std::vector<Case> cases;
    for (int megabytes = 16; megabytes <= 120; megabytes += 4)
        for (const int threads : {2, 8})
            cases.push_back({megabytes, threads, {}});
    const auto start = [&](Case& c) {
        c.run = std::async(std::launch::async, [&, output = Folder.path(fmt::format(
                                                       "out-{}-{}.exr", c.megabytes, c.threads))] {
            return runProgram(
                "/bin/sh",
                {"-c",
                 fmt::format("ulimit -v {} && exec timeout 120 \"$0\" render \"$1\" -o \"$2\" -q "
                             "--threads {} --set UseSSAO=1 --set Matrix=8",
                             c.megabytes * 1024, c.threads),
                 UMBRIX_PROGRAM, Folder.path("frame.exr"), output},
                {});
        });
    };
    constexpr std::size_t AtOnce = 4;
    for (std::size_t k = 0; k < std::min(AtOnce, cases.size()); ++k)
        start(cases[k]);
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const Outcome run = cases[k].run.get();
        if (k + AtOnce < cases.size())
            start(cases[k + AtOnce]);
        SCOPED_TRACE(fmt::format("{} MB, {} threads", cases[k].megabytes, cases[k].threads));
        EXPECT_TRUE(run.status == 0 || run.status == 1) << run.status << ": " << run.err;
        if (run.status == 1) {
            EXPECT_TRUE(isMessage(run.err, {"memory"})) << run.err;
            EXPECT_TRUE(run.err.find("frame.exr") != std::string::npos ||
                        run.err.find("out-") != std::string::npos)
                << run.err;
        }
    }
}

// Only regular files are read: a device would feed a reader forever, and a pipe with no writer
// would block it.
TEST_F(Failure, DevicesAndPipesAreRefusedAtOnce) {
    ASSERT_EQ(mkfifo(Folder.path("pipe.exr").c_str(), 0600), 0);
    for (const std::string& input : {std::string("/dev/zero"), Folder.path("pipe.exr")}) {
        SCOPED_TRACE(input);
        expectFailure({input, "-o", Folder.path("out.exr")}, 1, {input, "not a regular file"});
    }
    EXPECT_EQ(Folder.entries(), (std::vector<std::string>{"in.exr", "pipe.exr"}));
}

// Rendering a file over itself replaces it only with a whole result, although the parts not
// rendered are copied from it as the result is written; a run that fails leaves it as it was.
TEST_F(Failure, OutputOverTheInputIsSafe) {
    std::vector<ExrPart> parts(2, exrPart(16, 12));
    parts[0].name = "beauty";
    parts[1].name = "depth";
    addChannel(parts[0], "R", Imf::HALF, [](int x, int y) { return 0.25 * x - y; });
    addChannel(parts[1], "Z", Imf::FLOAT, [](int x, int y) { return 1.0 + 0.5 * x + y; });
    writeExrFile(Folder.path("parts.exr"), parts);
    ASSERT_EQ(inProcess({"render", Folder.path("parts.exr"), "-o", Folder.path("copy.exr")}).status,
              0);
    const Outcome over =
        inProcess({"render", Folder.path("parts.exr"), "-o", Folder.path("parts.exr")});
    ASSERT_EQ(over.status, 0) << over.err;
    const std::vector<ExrPart> copy = readExrFile(Folder.path("copy.exr"));
    const std::vector<ExrPart> result = readExrFile(Folder.path("parts.exr"));
    ASSERT_EQ(result.size(), copy.size());
    for (std::size_t p = 0; p < copy.size(); ++p)
        for (const ExrChannel& channel : copy[p].channels) {
            ASSERT_TRUE(result[p].channel(channel.name)) << channel.name;
            EXPECT_EQ(result[p].channel(channel.name)->bits, channel.bits) << channel.name;
        }
    const std::string whole = readBytes("in.exr");
    writeBytes("cut.exr", whole.substr(0, whole.size() / 2));
    expectFailure({Folder.path("cut.exr"), "-o", Folder.path("cut.exr")}, 1, {"cut.exr"});
    EXPECT_EQ(readBytes("cut.exr"), whole.substr(0, whole.size() / 2));
    EXPECT_EQ(Folder.entries(),
              (std::vector<std::string>{"copy.exr", "cut.exr", "in.exr", "parts.exr"}));
}

// A header of a few bytes that declares a value of gigabytes is refused before anything is
// allocated for it, in any header of a file of several parts; so is an attribute without a type,
// where OpenEXR's two readers part ways (the core one once wrote a 64x64 window for a 16x12 one).
TEST_F(Failure, HeaderAttributesTheReadersWouldMisreadAreRefused) {
    ExrPart first = exrPart(4, 3);
    first.name = "first";
    addChannel(first, "Z", Imf::FLOAT, [](int x, int y) { return x + y; });
    ExrPart second = first;
    second.name = "second";
    ExrPart single = first;
    single.name.clear();
    writeExrFile(Folder.path("one.exr"), {single});
    writeExrFile(Folder.path("two.exr"), {first, second});
    // A string attribute of 2 GB, inserted where a header's attributes end.
    std::string huge = std::string("junk\0string\0", 12) + std::string("\x00\x00\xf0\x7f", 4);
    const auto headerEnd = [](const std::string& bytes, std::size_t at) {
        while (bytes[at] != '\0') {
            at = bytes.find('\0', bytes.find('\0', at) + 1) + 1;
            std::uint32_t size = 0;
            for (int b = 3; b >= 0; --b)
                size =
                    size << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(b)]);
            at += 4 + size;
        }
        return at;
    };
    const std::string one = readBytes("one.exr");
    writeBytes("huge1.exr", one.substr(0, headerEnd(one, 8)) + huge);
    const std::string two = readBytes("two.exr");
    const std::size_t secondHeader = headerEnd(two, 8) + 1;
    writeBytes("huge2.exr", two.substr(0, headerEnd(two, secondHeader)) + huge +
                                two.substr(headerEnd(two, secondHeader), 64));
    for (const char* name : {"huge1.exr", "huge2.exr"}) {
        SCOPED_TRACE(name);
        expectFailure({Folder.path(name), "-o", Folder.path("out.exr")}, 1,
                      {name, "header attribute 'junk' declares 2146435072 bytes"});
    }
    writeBytes("typeless.exr", one.substr(0, headerEnd(one, 8)) + std::string("cr\0\0\0\0\0\0", 8) +
                                   one.substr(headerEnd(one, 8)));
    expectFailure({Folder.path("typeless.exr"), "-o", Folder.path("out.exr")}, 1,
                  {"typeless.exr", "header attribute 'cr' has no type"});
    EXPECT_FALSE(fs::exists(Folder.path("out.exr")));

    // Values a reader later divides by, allocates by, loops over or indexes with, each put in
    // place of the value a valid file holds. one.exr: channel Z of floats, zip, (0, 0)-(3, 2).
    ExrPart tiled = single;
    tiled.tileSize = 2;
    writeExrFile(Folder.path("tiled.exr"), {tiled});
    const auto word = [](std::int32_t value) {
        std::string bytes(4, '\0');
        for (std::size_t b = 0; b < 4; ++b)
            bytes[b] = static_cast<char>(static_cast<std::uint32_t>(value) >> (8 * b) & 0xff);
        return bytes;
    };
    const auto real = [&word](float value) { return word(std::bit_cast<std::int32_t>(value)); };
    const auto box = [&word](int minX, int minY, int maxX, int maxY) {
        return word(minX) + word(minY) + word(maxX) + word(maxY);
    };
    const auto channelZ = [&word](int type, int xSampling, int ySampling) {
        return std::string("Z\0", 2) + word(type) + word(0) + word(xSampling) + word(ySampling) +
               std::string(1, '\0');
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    struct Case {
        std::string file, attribute, value, says;
    };
    const Case cases[] = {
        {"one", "channels", channelZ(2, 0, 1), "gives channel 'Z' a sampling of 0x1"},
        {"one", "channels", channelZ(2, 1, -2), "gives channel 'Z' a sampling of 1x-2"},
        {"one", "channels", channelZ(2, 3, 1),
         "gives channel 'Z' a sampling of 3x1, which does not divide the origin and size of "
         "the data window (0, 0)-(3, 2)"},
        {"one", "channels", channelZ(2, 1, 4),
         "gives channel 'Z' a sampling of 1x4, which is larger than the data window (0, 0)-(3, 2)"},
        {"one", "channels", channelZ(3, 1, 1), "gives channel 'Z' pixel type 3"},
        {"one", "dataWindow", box(3, 0, 0, 2), "is (3, 0)-(0, 2): empty"},
        {"one", "dataWindow", box(INT_MIN, 0, 3, 2),
         "is (-2147483648, 0)-(3, 2): a corner is out of range"},
        {"one", "dataWindow", box(0, 0, 3, INT_MAX),
         "is (0, 0)-(3, 2147483647): a corner is out of range"},
        {"one", "dataWindow", box(0, 0, 3, 999999999),
         "is (0, 0)-(3, 999999999): 62500000 chunks, more offsets than the 48 bytes after the "
         "header hold"},
        {"one", "displayWindow", box(-1, -1, INT_MAX - 1, 2),
         "is (-1, -1)-(2147483646, 2): a corner is out of range"},
        {"one", "compression", std::string(1, '\x0a'), "is 10, not a compression of OpenEXR"},
        {"one", "lineOrder", std::string(1, '\x03'), "is 3, not a line order"},
        {"one", "pixelAspectRatio", real(nan), "is nan"},
        {"one", "pixelAspectRatio", real(0), "is 0"},
        {"one", "screenWindowWidth", real(-infinity), "is -inf"},
        {"one", "screenWindowCenter", real(0) + real(infinity), "is (0, inf)"},
        {"tiled", "tiles", word(0) + word(2) + std::string(1, '\0'), "gives tiles of 0x2"},
        {"tiled", "tiles", word(-2) + word(2) + std::string(1, '\0'),
         "gives tiles of 4294967294x2"},
        {"tiled", "tiles", word(1 << 16) + word(1 << 16) + std::string(1, '\0'),
         "gives tiles of 65536x65536, more pixels than the data window (0, 0)-(3, 2) and than "
         "1024x1024"},
        {"tiled", "tiles", word(2) + word(2) + std::string(1, '\x03'),
         "gives level mode 3 and rounding mode 0"},
        {"tiled", "tiles", word(2) + word(2) + std::string(1, '\x21'),
         "gives level mode 1 and rounding mode 2"},
        {"two", "chunkCount", word(0), "is 0"},
        {"two", "chunkCount", word(INT_MAX), "is 2147483647, more offsets than the "},
    };
    writeBytes("out.exr", "an older output");
    for (const Case& edit : cases) {
        SCOPED_TRACE(edit.attribute + ": " + edit.says);
        std::string bytes = readBytes(edit.file + ".exr");
        const std::size_t name = bytes.find(edit.attribute + std::string(1, '\0'));
        ASSERT_NE(name, std::string::npos);
        const std::size_t value = bytes.find('\0', name + edit.attribute.size() + 1) + 5;
        bytes.replace(value, edit.value.size(), edit.value);
        writeBytes("edited.exr", bytes);
        expectFailure({Folder.path("edited.exr"), "-o", Folder.path("out.exr")}, 1,
                      {"edited.exr", "header attribute '" + edit.attribute + "' " + edit.says});
        EXPECT_EQ(readBytes("out.exr"), "an older output");
    }
}

// A fault while a frame is read ends the process, but not silently: a farm's log names the frame,
// and the process dies by the signal itself, as a scheduler expects of a crash.
TEST_F(Failure, AFatalSignalWhileReadingNamesTheFile) {
    fs::copy_file(Folder.path("in.exr"), Folder.path("crash-on-read.exr"));
    const rlimit noCore{0, 0};
    ASSERT_EQ(setrlimit(RLIMIT_CORE, &noCore), 0);
    // The preloaded library before the sanitizer's runtime, and the signal left to the program.
    std::string sanitizer = "ASAN_OPTIONS=";
    if (const char* inherited = std::getenv("ASAN_OPTIONS"))
        sanitizer += std::string(inherited) + ":";
    sanitizer += "handle_segv=0:verify_asan_link_order=0";
    const Outcome run =
        umbrix({"render", Folder.path("crash-on-read.exr"), "-o", Folder.path("out.exr")},
               {"LD_PRELOAD=" UMBRIX_CRASH_ON_READ, sanitizer});
    EXPECT_EQ(run.status, 128 + SIGSEGV) << run.err;
    EXPECT_EQ(run.err, "umbrix: " + Folder.path("crash-on-read.exr") +
                           ": fatal signal 11 (SIGSEGV) while reading\n");
    EXPECT_FALSE(fs::exists(Folder.path("out.exr")));
}

// Reading needs the permission to read: the message says so, not that the file is of no known
// format.
TEST_F(Failure, UnreadableInputSaysPermissionDenied) {
    ASSERT_EQ(chmod(Folder.path("").c_str(), 0777), 0);
    ASSERT_EQ(chmod(Folder.path("in.exr").c_str(), 0), 0);
    const Outcome run =
        asUnprivileged({"render", Folder.path("in.exr"), "-o", Folder.path("out.exr")});
    if (run.status == NoUnprivilegedUser)
        GTEST_SKIP() << "cannot run the program as the user 'nobody', who may not read the file";
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(isMessage(run.err, {"in.exr", "Permission denied"}));
    EXPECT_EQ(Folder.entries(), OnlyInput);
}

TEST_F(Failure, MissingToolLibrary) {
    expectFailure({Folder.path("in.exr"), "-o", Folder.path("out.exr"), "--plugin",
                   Folder.path("none.plugin")},
                  1, {"none.plugin"});
    EXPECT_EQ(Folder.entries(), OnlyInput);
}

} // namespace
} // namespace apptest
