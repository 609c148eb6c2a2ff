#include "look/LookSession.h"

#include "app/core/RenderWarnings.h"

#include <chrono>

namespace umbrix::look {

LookSession::LookSession(const std::string& libraryPath, FrameSource frames,
                         std::function<void()> rendered)
    : Frames(std::move(frames)), Page(libraryPath), Renderer(libraryPath),
      OnPicture(std::move(rendered)) {}

void LookSession::start(std::shared_ptr<const Frame> first) {
    Loaded = std::move(first);
    LoadedIndex = 0;
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
    if (Worker.joinable())
        Worker.join();
}

std::vector<Input*> LookSession::controls() const {
    return Page.controls();
}

double LookSession::value(const Input& control) const {
    std::lock_guard guard(Lock);
    return minihost::value(control);
}

std::uint64_t LookSession::change(Input& control, double value) {
    std::lock_guard guard(Lock);
    Page.set(control, value);
    ++Generation;
    queueLocked();
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
    std::lock_guard guard(Lock);
    FrameIndex = index;
    ++Generation;
    queueLocked();
    return Generation;
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

void LookSession::saveSettings(const std::string& path) const {
    std::lock_guard guard(Lock);
    ControlValues(Page.controls()).save(path);
}

void LookSession::queueLocked() {
    Waiting = Job{Generation, FrameIndex, ControlValues(Page.controls())};
    // The render under way, if any, is for older values: it stops at its next chunk.
    Running.request_stop();
    Wake.notify_one();
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
        }
        std::shared_ptr<const Picture> picture = render(*job, stop);
        {
            std::lock_guard guard(Lock);
            if (!picture || Waiting || Stopping)
                continue; // superseded: its picture would not match the controls
            Published = std::move(picture);
        }
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
    try {
        const std::string& shown = Frames.paths[job.frameIndex];
        for (const Warnings& warnings :
             {controlWarnings(job.values), channelWarnings(*Loaded, shown, job.values)})
            for (const Warning& warning : warnings)
                picture->warnings.push_back(warning.text);
        const auto start = std::chrono::steady_clock::now();
        std::optional<Rendered> rendered = Renderer.render(
            Loaded, job.values, Frames.numbers[job.frameIndex].value_or(0), std::move(stop));
        if (!rendered)
            return nullptr;
        picture->milliseconds =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        picture->result = std::move(rendered->image);
    } catch (const std::exception& e) {
        picture->error = e.what();
        picture->result.reset();
    }
    return picture;
}

} // namespace umbrix::look
