#pragma once

#include "app/core/ControlValues.h"
#include "app/core/FrameSource.h"
#include "app/core/Tool.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace umbrix::look {

// The frames the page can show, and how one is read.
struct FrameSource {
    std::vector<std::string> paths;
    std::vector<std::optional<int>> numbers; // the sequence's frame numbers; nothing for one image
    // Reads frame `index`: UsageError or RunError, naming the file, when it cannot.
    std::function<std::shared_ptr<const Frame>(std::size_t index)> read;
};

// One finished render, as the page shows it: the frame, the tool's output image, or why the
// frame could not be read.
struct Picture {
    std::uint64_t generation = 0; // of the controls it was rendered with
    std::size_t frameIndex = 0;
    std::shared_ptr<const Frame> frame;
    std::shared_ptr<const Image> result;
    double milliseconds = 0.0; // the tool's render
    std::string error;
    std::vector<std::string> warnings; // what the command line would warn of
};

// The tool with its controls as the page sets them, and the frame rendered again whenever they
// change. Renders run on a thread of their own, one at a time, always with the newest values: a
// change made while one runs stops it at its next chunk and waits (only the newest change waits),
// and the result of a render whose values changed meanwhile is dropped, so a picture shown always
// matches the controls.
class LookSession {
  public:
    // Loads the tool (RunError when it cannot). `rendered` is told of every picture published, on
    // the render thread.
    LookSession(const std::string& libraryPath, FrameSource frames, std::function<void()> rendered);
    ~LookSession();
    LookSession(const LookSession&) = delete;
    LookSession& operator=(const LookSession&) = delete;

    // Starts rendering, with the values set so far. `first` is frame 0, read already, so that a
    // file that cannot be read stops the program before anything is served.
    void start(std::shared_ptr<const Frame> first);
    // Ends rendering once the render running (if any) is done; nothing is published after.
    void stop();

    // The controls the page shows, in the tool's order: every input but the image.
    std::vector<Input*> controls() const;
    double value(const Input& control) const;

    // A host's control change: the tool is told (NotifyChanged), then the frame is rendered again.
    // Returns the generation whose picture will show it.
    std::uint64_t change(Input& control, double value);
    // Presses the About button; returns the box the tool asked for: caption and text.
    std::optional<std::pair<std::string, std::string>> pressAbout();
    std::uint64_t showFrame(std::size_t index);

    const FrameSource& frames() const { return Frames; }
    std::size_t frameIndex() const;
    std::uint64_t generation() const;
    // The newest picture published, or null before the first.
    std::shared_ptr<const Picture> picture() const;

    // Writes the values in effect as a settings file; RunError on failure.
    void saveSettings(const std::string& path) const;

  private:
    struct Job {
        std::uint64_t generation = 0;
        std::size_t frameIndex = 0;
        ControlValues values;
    };

    FrameSource Frames;
    ToolSession Page; // takes the user's changes as a host's controls would, About included
    Tool Renderer;    // renders with a copy of Page's values, on the render thread
    std::function<void()> OnPicture;

    mutable std::mutex Lock;
    std::condition_variable Wake;
    std::uint64_t Generation = 1;
    std::size_t FrameIndex = 0;
    std::optional<Job> Waiting;
    std::stop_source Running; // stops the render under way
    std::shared_ptr<const Picture> Published;
    bool Stopping = false;

    // Owned by the render thread.
    std::shared_ptr<const Frame> Loaded;
    std::size_t LoadedIndex = 0;
    std::thread Worker;

    void queueLocked();
    void work();
    // Null when `stop` ended the render.
    std::shared_ptr<Picture> render(const Job& job, std::stop_token stop);
    bool load(std::size_t index, Picture& picture);
};

} // namespace umbrix::look
