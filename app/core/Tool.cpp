#include "app/core/Tool.h"

#include "app/Failure.h"
#include "app/Text.h"
#include "app/files/CodecThreads.h"

#include <charconv>
#include <new>
#include <utility>

namespace umbrix {

Tool::Tool(const std::string& libraryPath) : Session(libraryPath), Controls(Session.controls()) {}

minihost::OperatorPtr Tool::takeOperator() const {
    {
        const std::lock_guard guard(PoolLock);
        if (!Idle.empty()) {
            minihost::OperatorPtr tool = std::move(Idle.back());
            Idle.pop_back();
            return tool;
        }
    }
    return Session.createOperator();
}

void Tool::giveBack(minihost::OperatorPtr tool) const {
    const std::lock_guard guard(PoolLock);
    Idle.push_back(std::move(tool));
}

void Tool::releaseIdle() const {
    std::vector<minihost::OperatorPtr> dropped;
    const std::lock_guard guard(PoolLock);
    dropped.swap(Idle);
}

Rendered Tool::render(std::shared_ptr<const Frame> source, const ControlValues& values,
                      double time) const {
    return *render(std::move(source), values, time, std::stop_token{});
}

std::optional<Rendered> Tool::render(std::shared_ptr<const Frame> source,
                                     const ControlValues& values, double time,
                                     std::stop_token stop) const {
    const std::string& path = source->path;
    try {
        minihost::OperatorPtr tool = takeOperator();
        values.applyTo(*tool);
        minihost::ImagePtr image = renderImage(*tool, *source->image, time, std::move(stop));
        // An abandoned render's operator is dropped: its state stopped halfway.
        if (!image)
            return std::nullopt;
        giveBack(std::move(tool));
        return Rendered{std::move(source), std::move(image), {}};
    } catch (const std::bad_alloc&) {
        throw RunError(path + ": out of memory while rendering", path, std::nullopt,
                       RunError::Cause::Memory);
    } catch (const RunError& e) {
        throw RunError(path + ": " + e.what(), path, std::nullopt, e.cause());
    }
}

void releaseSourceImage(Rendered& result) {
    if (result.source.use_count() == 1)
        const_cast<Frame&>(*result.source).image.reset();
}

void useThreads(int threads) {
    minihost::setThreads(threads);
    runCodecsOnHostPool();
}

void runOnWorkers(int count, const std::function<void(int)>& task) {
    runOnHostPool(count, task);
}

std::optional<int> threadCount(std::string_view text) {
    const std::string_view typed = trimmed(text);
    int threads = -1;
    const auto [end, error] = std::from_chars(typed.data(), typed.data() + typed.size(), threads);
    if (typed.empty() || error != std::errc() || end != typed.data() + typed.size() ||
        threads < 0 || threads > MaxThreads)
        return std::nullopt;
    return threads;
}

} // namespace umbrix
