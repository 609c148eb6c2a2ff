#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace umbrix {

// Reports progress on stderr: a bar (frames, rows, time left) on a terminal, one plain line per
// finished frame otherwise, as render-farm logs expect; nothing when quiet.
class Progress {
  public:
    enum class Mode { Quiet, Lines, Bar };
    static Mode modeFor(bool quiet);

    Progress(Mode mode, std::size_t frames);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // A frame of `rows` rows starts rendering.
    void startFrame(int rows);
    // A frame is written; `what` names it in its line, e.g. "frame 12: out.0012.exr". Frames
    // finish in order, and each line gives the time since the line before (or since the start):
    // frames overlap, and these times add up to the run's.
    void finishFrame(const std::string& what);
    // A frame is left out, as `why` says (a line, even when quiet), in its turn among those
    // finished.
    void skipFrame(const std::string& why);

  private:
    using Clock = std::chrono::steady_clock;

    Mode Shown;
    std::size_t Frames;
    std::size_t FramesDone = 0;
    std::atomic<long> Chunks{0};
    std::atomic<int> Rows{0};
    Clock::time_point RunStarted;
    Clock::time_point LastFinished;
    Clock::time_point FrameStarted;
    struct Sample {
        Clock::time_point when;
        long chunks;
    };
    std::deque<Sample> Recent; // chunk counts of the current frame over the last seconds
    std::mutex Lock;
    std::condition_variable Wake;
    bool Stopping = false;
    std::thread Drawer;

    void drawUntilStopped();
    std::string bar();
    double secondsLeft(long chunks, int rows);
};

} // namespace umbrix
