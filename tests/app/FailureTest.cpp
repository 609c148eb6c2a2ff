// Every failure: its exit status, one message naming the file and the cause, and no file left.

#include "tests/app/ProgramTest.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace apptest {
namespace {

namespace fs = std::filesystem;

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
        const Outcome run = umbrix(all);
        EXPECT_EQ(run.status, status) << run.err;
        EXPECT_TRUE(isMessage(run.err, parts));
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
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
    expectFailure({Folder.path("none.exr"), "-o", Folder.path("out.exr")}, 1,
                  {"none.exr", "No such file"});
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

TEST_F(Failure, ExistingOutputIsUntouchedByAFailure) {
    writeBytes("out.exr", "previous");
    expectFailure({Folder.path("none.exr"), "-o", Folder.path("out.exr")}, 1, {"none.exr"});
    EXPECT_EQ(readBytes("out.exr"), "previous");
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
