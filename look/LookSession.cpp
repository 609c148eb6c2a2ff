#include "look/LookSession.h"

#include "app/core/MultiView.h"
#include "app/core/RenderWarnings.h"

#include <algorithm>
#include <bit>
#include <fmt/format.h>

namespace umbrix::look {

LookSession::LookSession(const std::string& libraryPath, FrameSource frames,
                         std::function<void()> rendered, std::chrono::milliseconds unwatched)
    : Frames(std::move(frames)), Page(libraryPath), Renderer(libraryPath),
      OnPicture(std::move(rendered)), Unwatched(unwatched) {}

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

void LookSession::start(std::shared_ptr<const Frame> first) {
    Loaded = std::move(first);
    LoadedIndex = 0;
    watched();
    // Only this session renders in its process: every chunk counted is one of its renders.
    minihost::setChunkObserver([this] { rowDone(); });
    {
        std::lock_guard guard(Lock);
        queueLocked();
    }
    Worker = std::thread([this] { work(); });
}

LookSession::~LookSession() {
    stop();
}

void LookSession::stop() {
    {
        std::lock_guard guard(Lock);
        Stopping = true;
        Running.request_stop();
    }
    Wake.notify_all();
    if (Worker.joinable()) {
        Worker.join();
        minihost::setChunkObserver(nullptr);
    }
}

std::vector<Input*> LookSession::controls() const {
    return Page.controls();
}

std::uint64_t LookSession::renderAfter(const std::function<void()>& change) {
    watched();
    std::lock_guard guard(Lock);
    change();
    ++Generation;
    queueLocked();
    return Generation;
}

double LookSession::value(const Input& control) const {
    std::lock_guard guard(Lock);
    return minihost::value(control);
}

std::uint64_t LookSession::change(Input& control, double value) {
    return renderAfter([&] { Page.set(control, value); });
}

std::uint64_t LookSession::changeAll(const ControlValues& values) {
    watched();
    std::lock_guard guard(Lock);
    const std::vector<Input*> controls = Page.controls();
    bool changed = false;
    for (std::size_t k = 0; k < controls.size(); ++k) {
        const ControlValues::Entry& entry = values.entries()[k];
        if (entry.info->dataType != "Number" ||
            std::bit_cast<std::uint64_t>(entry.value) ==
                std::bit_cast<std::uint64_t>(minihost::value(*controls[k])))
            continue;
        Page.set(*controls[k], entry.value);
        changed = true;
    }
    if (depthConventionText(values.depth()) != depthConventionText(Depth)) {
        Depth = values.depth();
        changed = true;
    }
    if (changed) {
        ++Generation;
        queueLocked();
    }
    return Generation;
}

std::optional<std::pair<std::string, std::string>> LookSession::pressAbout() {
    std::lock_guard guard(Lock);
    Input* about = Page.control("About");
    if (!about)
        return std::nullopt;
    std::optional<std::pair<std::string, std::string>> box;
    minihost::setMessageBoxHandler([&box](const char* text, const char* caption, unsigned) {
        box.emplace(caption ? caption : "", text ? text : "");
        return 1;
    });
    try {
        Page.set(*about, 1.0);
    } catch (...) {
        minihost::setMessageBoxHandler(nullptr);
        throw;
    }
    minihost::setMessageBoxHandler(nullptr);
    return box;
}

std::uint64_t LookSession::showFrame(std::size_t index) {
    return renderAfter([&] { FrameIndex = index; });
}

std::uint64_t LookSession::showView(std::string name) {
    return renderAfter([&] { View = std::move(name); });
}

std::uint64_t LookSession::setDepth(const DepthConvention& depth) {
    return renderAfter([&] { Depth = depth; });
}

DepthConvention LookSession::depth() const {
    std::lock_guard guard(Lock);
    return Depth;
}

std::size_t LookSession::frameIndex() const {
    std::lock_guard guard(Lock);
    return FrameIndex;
}

std::uint64_t LookSession::generation() const {
    std::lock_guard guard(Lock);
    return Generation;
}

std::shared_ptr<const Picture> LookSession::picture() const {
    std::lock_guard guard(Lock);
    return Published;
}

void LookSession::cancel() {
    {
        std::lock_guard guard(Lock);
        cancelLocked();
    }
    OnPicture();
}

std::uint64_t LookSession::renderAgain() {
    watched();
    std::lock_guard guard(Lock);
    ++Generation;
    queueLocked();
    return Generation;
}

void LookSession::watched() {
    LastWatched.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
}

RenderProgress LookSession::progress() const {
    std::lock_guard guard(Lock);
    RenderProgress now;
    now.cancelled = Cancelled;
    if (!RunningGeneration)
        return now;
    now.generation = RunningGeneration;
    now.rows = RowsDone.load(std::memory_order_relaxed);
    now.totalRows = TotalRows.load(std::memory_order_relaxed);
    now.milliseconds =
        std::chrono::duration<double, std::milli>(Clock::now() - RunningSince).count();
    return now;
}

void LookSession::queueLocked() {
    Waiting = Job{Generation, FrameIndex, View, ControlValues(Page.controls())};
    Waiting->values.setDepth(Depth);
    // The render under way, if any, is for older values: it stops at its next chunk, unless it
    // ends sooner than a new one could show anything.
    if (!nearlyDoneLocked())
        Running.request_stop();
    Wake.notify_one();
}

bool LookSession::nearlyDoneLocked() const {
    const long rows = RowsDone.load(std::memory_order_relaxed);
    const long total = TotalRows.load(std::memory_order_relaxed);
    if (!RunningGeneration || rows <= 0 || total <= 0 || rows > total)
        return false;
    const auto now = Clock::now();
    const auto remaining = (now - RunningSince) * (total - rows) / rows;
    // Changes faster than renders would otherwise abandon every one: once no picture has shown
    // for a while, one that ends within a second is let finish.
    return remaining <= NearlyDone || (now - PublishedAt >= NearlyDone && remaining <= Overdue);
}

void LookSession::cancelLocked() {
    if (Waiting) {
        Cancelled = std::max(Cancelled, Waiting->generation);
        Waiting.reset();
    }
    if (RunningGeneration) {
        Cancelled = std::max(Cancelled, RunningGeneration);
        Running.request_stop();
    }
}

void LookSession::rowDone() {
    RowsDone.fetch_add(1, std::memory_order_relaxed);
    const Clock::duration since(Clock::now().time_since_epoch().count() -
                                LastWatched.load(std::memory_order_relaxed));
    if (since <= Unwatched)
        return;
    // Every page is gone: nobody waits for this picture.
    std::lock_guard guard(Lock);
    if (RunningGeneration && !Running.stop_requested())
        cancelLocked();
}

void LookSession::work() {
    for (;;) {
        std::optional<Job> job;
        std::stop_token stop;
        {
            std::unique_lock guard(Lock);
            Wake.wait(guard, [this] { return Stopping || Waiting; });
            if (Stopping)
                return;
            job.swap(Waiting);
            Running = std::stop_source();
            stop = Running.get_token();
            RunningGeneration = job->generation;
            RunningSince = Clock::now();
            RowsDone.store(0, std::memory_order_relaxed);
            TotalRows.store(0, std::memory_order_relaxed);
        }
        std::shared_ptr<const Picture> picture = render(*job, stop);
        {
            std::lock_guard guard(Lock);
            RunningGeneration = 0;
            if (Stopping)
                return;
            // A render that newer values let finish is published too: it shows its own values,
            // and the page marks it as older than its controls.
            if (picture) {
                Published = std::move(picture);
                PublishedAt = Clock::now();
            }
        }
        // A render given up tells the pages too: one may wait for it.
        OnPicture();
    }
}

bool LookSession::load(std::size_t index, Picture& picture) {
    if (Loaded && LoadedIndex == index)
        return true;
    // One frame in memory at a time, besides the one the page still shows.
    Loaded.reset();
    try {
        Loaded = Frames.read(index);
        LoadedIndex = index;
        return true;
    } catch (const std::exception& e) {
        picture.error = e.what();
        return false;
    }
}

std::shared_ptr<Picture> LookSession::render(const Job& job, std::stop_token stop) {
    auto picture = std::make_shared<Picture>();
    picture->generation = job.generation;
    picture->frameIndex = job.frameIndex;
    if (!load(job.frameIndex, *picture))
        return picture;
    picture->frame = Loaded;
    // The tool goes over every row twice: normals, then occlusion and the result.
    TotalRows.store(2L * Loaded->image->Height, std::memory_order_relaxed);
    try {
        const std::string& shown = Frames.paths[job.frameIndex];
        // The view shown: the frame's first rendered one unless another is chosen.
        std::size_t view = Loaded->primary;
        for (std::size_t v = 0; v < Loaded->views.size(); ++v)
            if (v == Loaded->primary || rendersApart(*Loaded, v)) {
                picture->views.push_back(Loaded->views[v].name);
                if (Loaded->views[v].name == job.view)
                    view = v;
            }
        if (!Loaded->views.empty()) {
            picture->view = Loaded->views[view].name;
            if (!job.view.empty() && job.view != picture->view)
                picture->warnings.push_back(
                    fmt::format("{}: no view {} rendered in this frame; showing {}", shown,
                                job.view, picture->view));
        }
        // The picture shows the depth the tool read.
        picture->frame =
            viewToRender(Loaded, view, job.values.depth(), job.values[control::CamFOV]);
        for (const Warnings& warnings :
             {controlWarnings(job.values), channelWarnings(*Loaded, shown, job.values),
              depthWarnings(*Loaded, shown, job.values.depth())})
            for (const Warning& warning : warnings)
                picture->warnings.push_back(warning.text);
        const auto start = std::chrono::steady_clock::now();
        std::optional<Rendered> rendered =
            Renderer.render(picture->frame, job.values, Frames.numbers[job.frameIndex].value_or(0),
                            std::move(stop));
        if (!rendered)
            return nullptr;
        picture->milliseconds =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        picture->result = std::move(rendered->image);
        picture->values = job.values;
    } catch (const std::exception& e) {
        picture->error = e.what();
        picture->result.reset();
    }
    return picture;
}

} // namespace umbrix::look
