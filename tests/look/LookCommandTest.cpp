#include "look/LookCommand.h"

#include "app/Failure.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using namespace umbrix;
namespace fs = std::filesystem;

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
        LookOptions options;
        options.input = path(c.input);
        if (c.frames)
            options.frames = c.frames;
        options.saveSettings = path(c.target);
        if (!c.refusal) {
            EXPECT_EQ(lookFrames(options).paths.size(), c.frames ? 2U : 1U);
        } else if (*c.refusal) {
            try {
                lookFrames(options);
                ADD_FAILURE() << "accepted";
            } catch (const UsageError& e) {
                EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
            }
        } else {
            EXPECT_THROW(lookFrames(options), RunError);
        }
    }
    EXPECT_EQ(fs::file_size(Folder / "in.exr"), 6U);
}

} // namespace
