#include "app/core/Progress.h"

#include "app/Console.h"
#include "minihost/Host.h"

#include <algorithm>
#include <fmt/format.h>

namespace umbrix {

namespace {

constexpr auto RedrawInterval = std::chrono::milliseconds(200);
// How far back the chunk rate of the current frame is measured.
constexpr auto RateWindow = std::chrono::seconds(2);
constexpr int BarWidth = 30;

std::string clockTime(double seconds) {
    const auto whole = static_cast<long>(seconds + 0.5);
    if (whole >= 3600)
        return fmt::format("{}:{:02}:{:02}", whole / 3600, whole / 60 % 60, whole % 60);
    return fmt::format("{}:{:02}", whole / 60, whole % 60);
}

} // namespace

Progress::Mode Progress::modeFor(bool quiet) {
    if (quiet)
        return Mode::Quiet;
    return console::isTerminal() ? Mode::Bar : Mode::Lines;
}

Progress::Progress(Mode mode, std::size_t frames)
    : Shown(mode), Frames(std::max<std::size_t>(frames, 1)), RunStarted(Clock::now()),
      LastFinished(RunStarted), FrameStarted(RunStarted) {
    if (Shown != Mode::Bar)
        return;
    minihost::setChunkObserver([this] { Chunks.fetch_add(1, std::memory_order_relaxed); });
    Drawer = std::thread([this] { drawUntilStopped(); });
}

Progress::~Progress() {
    if (Shown != Mode::Bar)
        return;
    minihost::setChunkObserver(nullptr);
    {
        std::lock_guard guard(Lock);
        Stopping = true;
    }
    Wake.notify_all();
    Drawer.join();
    console::status("");
}

void Progress::startFrame(int rows) {
    std::lock_guard guard(Lock);
    FrameStarted = Clock::now();
    Recent.clear();
    Chunks.store(0);
    Rows.store(rows);
}

void Progress::finishFrame(const std::string& what) {
    double seconds = 0.0;
    {
        std::lock_guard guard(Lock);
        ++FramesDone;
        const Clock::time_point now = Clock::now();
        seconds = std::chrono::duration<double>(now - LastFinished).count();
        LastFinished = now;
    }
    if (Shown != Mode::Quiet)
        console::message(fmt::format("{} done in {:.2f} s", what, seconds));
}

void Progress::skipFrame(const std::string& why) {
    {
        std::lock_guard guard(Lock);
        ++FramesDone;
        LastFinished = Clock::now();
    }
    console::message(why);
}

void Progress::drawUntilStopped() {
    std::unique_lock guard(Lock);
    while (!Stopping) {
        const std::string text = bar();
        guard.unlock();
        console::status(text);
        guard.lock();
        Wake.wait_for(guard, RedrawInterval, [this] { return Stopping; });
    }
}

// A frame runs its rows twice, and which run does the work depends on the passes, so the time left
// comes from the pace of the frames written when there are some (frames overlap in the pipeline),
// and from the current rate of rows before that.
double Progress::secondsLeft(long chunks, int rows) {
    const auto now = Clock::now();
    const double inFrame = std::chrono::duration<double>(now - FrameStarted).count();
    const auto framesAfter = static_cast<double>(Frames - std::min(FramesDone + 1, Frames));
    if (FramesDone > 0) {
        const double elapsed = std::chrono::duration<double>(now - RunStarted).count();
        return elapsed / static_cast<double>(FramesDone) *
               static_cast<double>(Frames - std::min(FramesDone, Frames));
    }
    Recent.push_back({now, chunks});
    while (Recent.size() > 2 && now - Recent[1].when > RateWindow)
        Recent.pop_front();
    const double span = std::chrono::duration<double>(now - Recent.front().when).count();
    const long gained = chunks - Recent.front().chunks;
    if (rows <= 0 || span <= 0.0 || gained <= 0)
        return -1.0;
    const double frameLeft =
        static_cast<double>(2L * rows - chunks) * span / static_cast<double>(gained);
    return frameLeft + (inFrame + frameLeft) * framesAfter;
}

std::string Progress::bar() {
    const int rows = Rows.load();
    const long chunks =
        rows > 0 ? std::min<long>(Chunks.load(std::memory_order_relaxed), 2L * rows) : 0;
    const double done = (static_cast<double>(FramesDone) +
                         (rows > 0 ? static_cast<double>(chunks) / (2.0 * rows) : 0.0)) /
                        static_cast<double>(Frames);
    const double left = secondsLeft(chunks, rows);
    const int filled = static_cast<int>(done * BarWidth);
    const std::string rowText = rows > 0 ? fmt::format("rows {}/{}", chunks / 2, rows) : "reading";
    return fmt::format("[{:=<{}}{: <{}}] {:3.0f}%  frame {}/{}  {}  {} left", "", filled, "",
                       BarWidth - filled, done * 100.0, std::min(FramesDone + 1, Frames), Frames,
                       rowText, left < 0.0 ? "-:--" : clockTime(left));
}

} // namespace umbrix
