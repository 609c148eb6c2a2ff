#include "look/LookCommand.h"

#include "app/Failure.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <utility>
#include <vector>

namespace {

using namespace umbrix;
namespace fs = std::filesystem;

// Whether lookFrames refuses the options with a UsageError saying `refusal`.
void expectRefusal(const LookOptions& options, const std::string& refusal) {
    try {
        lookFrames(options);
        ADD_FAILURE() << "accepted";
    } catch (const UsageError& e) {
        EXPECT_NE(std::string(e.what()).find(refusal), std::string::npos) << e.what();
    }
}

class LookCommandTest : public ::testing::Test {
  protected:
    fs::path Folder;

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "umbrix-look-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        Folder = pattern;
        for (const char* name : {"in.exr", "shot.0001.exr", "shot.0002.exr", "shot.0003.exr"})
            std::ofstream(Folder / name) << "pixels";
        fs::create_symlink(Folder / "in.exr", Folder / "link.exr");
        fs::create_symlink(Folder / "shot.0003.exr", Folder / "frame.exr");
        fs::create_directory(Folder / "looks");
    }
    void TearDown() override { fs::remove_all(Folder); }

    std::string path(const std::string& name) const { return (Folder / name).string(); }
    LookOptions optionsFor(const char* input, const char* frames) const {
        LookOptions options;
        options.input = path(input);
        if (frames)
            options.frames = frames;
        return options;
    }
};

// Save writes while the frames are still read: a target among them is refused before anything is
// read or served, and one that cannot be written is known at once.
TEST_F(LookCommandTest, RefusesASaveTargetThatTheLookReadsOrCannotWrite) {
    struct Case {
        const char* what;
        const char* input;
        const char* frames;
        const char* target;
        const char* refusal; // a UsageError saying this; "" for a RunError; nullptr when accepted
    };
    const Case cases[] = {
        {"the input", "in.exr", nullptr, "in.exr", "the same file as the input"},
        {"the input by another name", "in.exr", nullptr, "looks/../in.exr", "the input"},
        {"a link to the input", "in.exr", nullptr, "link.exr", "the input"},
        {"a frame of the sequence", "shot.####.exr", "1-3", "shot.0002.exr",
         "the same file as frame 2 of the input, which the settings would replace"},
        {"a link to a frame", "shot.####.exr", "1-3", "frame.exr", "frame 3 of the input"},
        {"a frame outside the range", "shot.####.exr", "1-2", "shot.0003.exr", nullptr},
        {"a missing folder", "in.exr", nullptr, "none/look.json", ""},
        {"a folder", "in.exr", nullptr, "looks", ""},
        {"a new file", "in.exr", nullptr, "looks/look.json", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LookOptions options = optionsFor(c.input, c.frames);
        options.saveSettings = path(c.target);
        if (!c.refusal) {
            EXPECT_EQ(lookFrames(options).paths.size(), c.frames ? 2U : 1U);
        } else if (*c.refusal) {
            expectRefusal(options, c.refusal);
        } else {
            EXPECT_THROW(lookFrames(options), RunError);
        }
    }
    EXPECT_EQ(fs::file_size(Folder / "in.exr"), 6U);
}

// The frames are the ones `render` reads for the same INPUT and --frames, in the order given.
TEST_F(LookCommandTest, ShowsTheFramesRenderWouldRead) {
    struct Case {
        const char* input;
        const char* frames;
        std::vector<std::pair<std::string, std::optional<int>>> shown; // none: a UsageError
    };
    const Case cases[] = {
        {"in.exr", nullptr, {{"in.exr", std::nullopt}}},
        {"shot.####.exr", nullptr, {{"shot.####.exr", std::nullopt}}},
        {"shot.####.exr", "3-1x2", {{"shot.0003.exr", 3}, {"shot.0001.exr", 1}}},
        {"shot.%04d.exr", "2,1", {{"shot.0002.exr", 2}, {"shot.0001.exr", 1}}},
        {"in.exr", "1-3", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        const LookOptions options = optionsFor(c.input, c.frames);
        if (c.shown.empty()) {
            expectRefusal(options, "--frames needs a frame number pattern");
            continue;
        }
        const look::FrameSource source = lookFrames(options);
        std::vector<std::pair<std::string, std::optional<int>>> shown;
        for (std::size_t k = 0; k < source.paths.size(); ++k)
            shown.emplace_back(fs::path(source.paths[k]).filename().string(), source.numbers[k]);
        EXPECT_EQ(shown, c.shown);
    }
}

// The render line Save shows is pasted into a shell: every word must come back as it was.
TEST(ShellWord, QuotesWhatAShellWouldChange) {
    const std::pair<std::string, std::string> cases[] = {
        {"shot.####.exr", "shot.####.exr"},
        {"/a/b-c_d+e=f,g:h@1%04d", "/a/b-c_d+e=f,g:h@1%04d"},
        {"my shot.exr", "'my shot.exr'"},
        {"it's", "'it'\\''s'"},
        {"$HOME", "'$HOME'"},
        {"a\"b`c`", "'a\"b`c`'"},
        {"", "''"},
        {"plan*?.exr", "'plan*?.exr'"},
        {"~/x", "'~/x'"},
        {"caf\u00e9 \u30b7\u30e7\u30c3\u30c8.exr", "'caf\u00e9 \u30b7\u30e7\u30c3\u30c8.exr'"},
        {"line\nbreak", "'line\nbreak'"},
    };
    for (const auto& [word, quoted] : cases)
        EXPECT_EQ(shellWord(word), quoted) << word;
}

} // namespace
