#pragma once

#include "app/core/ControlValues.h"
#include "app/core/FrameSource.h"
#include "app/core/Tool.h"

#include <atomic>
#include <chrono>
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
    // A multi-view frame's views rendered (its first one first), and the one shown; empty for a
    // frame of one view.
    std::vector<std::string> views;
    std::string view;
    std::shared_ptr<const Frame> frame;
    std::shared_ptr<const Image> result;
    double milliseconds = 0.0;           // the tool's render
    std::optional<ControlValues> values; // what it was rendered with; nothing when not rendered
    std::string error;
    std::vector<std::string> warnings; // what the command line would warn of
};

// The render under way, as the page shows it while it waits.
struct RenderProgress {
    std::uint64_t generation = 0; // the render under way; 0 for none
    long rows = 0;                // rows done, of both passes over the frame
    long totalRows = 0;
    double milliseconds = 0.0;   // since it started
    std::uint64_t cancelled = 0; // the newest generation given up unrendered (Cancel, or no page)
};

// The tool with its controls as the page sets them, and the frame rendered again whenever they
// change. Renders run on a thread of their own, one at a time, always with the newest values: a
// change made while one runs stops it at its next block of rows and waits (only the newest change
// waits), unless the render is nearly done, when it finishes first, so that a drag still shows
// pictures. A picture carries the values it was rendered with: the page tells by them whether it
// is the controls' own.
class LookSession {
  public:
    // A render this close to its end finishes though newer values wait.
    static constexpr std::chrono::milliseconds NearlyDone{250};
    // Once no picture has shown for NearlyDone, a render this close to its end finishes too.
    static constexpr std::chrono::milliseconds Overdue{1000};

    // Loads the tool (RunError when it cannot). `rendered` is told of every picture published, and
    // of every render given up, on the render thread. A render no page has asked after for
    // `unwatched` is given up at its next block of rows: every page is gone.
    LookSession(const std::string& libraryPath, FrameSource frames, std::function<void()> rendered,
                std::chrono::milliseconds unwatched = std::chrono::seconds(5));
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
    // Every control that takes a value to its value in `values`, told as `change` tells one:
    // those whose value differs; and the depth convention. Returns the generation whose picture
    // will show them.
    std::uint64_t changeAll(const ControlValues& values);
    // Presses the About button; returns the box the tool asked for: caption and text.
    std::optional<std::pair<std::string, std::string>> pressAbout();
    std::uint64_t showFrame(std::size_t index);
    // Shows view `name` of a multi-view frame (nothing: its first rendered view), rendered as
    // `umbrix render` renders it; a frame without that view shows its first, with a warning.
    std::uint64_t showView(std::string name);
    // How the frames' depth is read (--depth); the frame is rendered again with it.
    std::uint64_t setDepth(const DepthConvention& depth);
    DepthConvention depth() const;

    const FrameSource& frames() const { return Frames; }
    std::size_t frameIndex() const;
    std::uint64_t generation() const;
    // The newest picture published, or null before the first.
    std::shared_ptr<const Picture> picture() const;

    // Stops the render under way, or about to start, at its next block of rows; the values stay,
    // and the picture shown stays until another change or `renderAgain`.
    void cancel();
    // Renders the values in effect again (after a cancel); returns the generation that will show
    // it.
    std::uint64_t renderAgain();
    // A page asked after the session: renders go on while one does.
    void watched();
    RenderProgress progress() const;

  private:
    struct Job {
        std::uint64_t generation = 0;
        std::size_t frameIndex = 0;
        std::string view;
        ControlValues values;
    };

    FrameSource Frames;
    ToolSession Page; // takes the user's changes as a host's controls would, About included
    Tool Renderer;    // renders with a copy of Page's values, on the render thread
    std::function<void()> OnPicture;
    std::chrono::milliseconds Unwatched;

    mutable std::mutex Lock;
    std::condition_variable Wake;
    std::uint64_t Generation = 1;
    std::size_t FrameIndex = 0;
    DepthConvention Depth;
    std::string View;
    std::optional<Job> Waiting;
    std::stop_source Running; // stops the render under way
    std::shared_ptr<const Picture> Published;
    bool Stopping = false;
    std::uint64_t RunningGeneration = 0;
    std::chrono::steady_clock::time_point RunningSince;
    std::chrono::steady_clock::time_point PublishedAt;
    std::uint64_t Cancelled = 0;

    // Counted by the worker threads, after every chunk of a render.
    std::atomic<long> RowsDone{0};
    std::atomic<long> TotalRows{0};
    std::atomic<std::chrono::steady_clock::rep> LastWatched{0};

    // Owned by the render thread.
    std::shared_ptr<const Frame> Loaded;
    std::size_t LoadedIndex = 0;
    std::thread Worker;

    // Makes `change` under the lock, as a page asked it, and queues the render that shows it;
    // returns its generation.
    std::uint64_t renderAfter(const std::function<void()>& change);
    void queueLocked();
    bool nearlyDoneLocked() const;
    void cancelLocked();
    void rowDone();
    void work();
    // Null when `stop` ended the render.
    std::shared_ptr<Picture> render(const Job& job, std::stop_token stop);
    bool load(std::size_t index, Picture& picture);
};

} // namespace umbrix::look
