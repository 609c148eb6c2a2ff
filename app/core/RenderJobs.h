#pragma once

#include "app/core/FrameSequence.h"
#include "app/core/FrameSource.h"
#include "app/core/WritingOver.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace umbrix {

// The frames a run reads: one image, or with `frames` one per frame, the input's pattern replaced
// by the frame number. UsageError for `frames` without a pattern in the input.
class InputFrames {
  public:
    InputFrames(std::string input, const std::optional<std::string>& frames);

    std::size_t size() const { return Frames ? Frames->size() : 1; }
    // Frame `index`'s number in the sequence; nothing for one image.
    std::optional<int> number(std::size_t index) const;
    std::string path(std::size_t index) const;
    // The input and every frame of it, as messages name them: "the input", "frame 3 of the input".
    NamedFiles named() const;

    // Opens and loads frame `index` as `naming` and `part` take its channels. UsageError or
    // RunError naming the file, and in a sequence starting "frame N: ".
    std::shared_ptr<Frame> read(std::size_t index, const FrameNaming& naming,
                                const std::optional<std::string>& part) const;

  private:
    std::string Input;
    std::optional<FrameList> Frames;
};

// A face's --save-settings beside what it reads: UsageError when the path is one of `read` (or a
// link to one), RunError when its folder cannot take the file. Checked before anything is read.
void checkSettingsTarget(const std::string& path, const NamedFiles& read);

// One image to render: where it comes from and goes, and its frame number when in a sequence.
struct Job {
    std::optional<int> frame;
    std::string input;
    std::string output;
    std::optional<std::string> preview;
};

// The images of a run, made one at a time as the run reaches them: one, or with `frames` one per
// frame, every path's pattern replaced by the frame number. UsageError for a pattern without
// `frames`, or `frames` without a pattern in the input, output or preview.
class Jobs {
  public:
    Jobs(std::string input, std::string output, std::optional<std::string> preview,
         const std::optional<std::string>& frames);

    std::size_t size() const { return Inputs.size(); }
    Job operator[](std::size_t index) const;
    const InputFrames& inputs() const { return Inputs; }

  private:
    InputFrames Inputs;
    std::string Output;
    std::optional<std::string> Preview;
};

// Frame numbers as --frames takes them, runs of consecutive frames as ranges: "1003-1004,1050".
std::string frameListOf(const std::vector<int>& frames);

} // namespace umbrix
