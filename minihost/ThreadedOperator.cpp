#include "host/ThreadedOperator.h"

#include "minihost/Internal.h"
#include "minihost/WorkerPool.h"

#include <atomic>
#include <exception>
#include <mutex>

FuID ThreadedOperator::ClassID("ThreadedOperator", true);

namespace {

std::mutex observerLock;
std::shared_ptr<const std::function<void()>> chunkObserver;

std::shared_ptr<const std::function<void()>> currentObserver() {
    std::lock_guard guard(observerLock);
    return chunkObserver;
}

// One DoMultiProcess run, shared by the ranges that the pool runs.
struct Run {
    ThreadedOperator* op = nullptr;
    Request* req = nullptr;
    const std::function<void()>* observer = nullptr;
    // Release by the caller before the run and by every range after it, acquire at the start of
    // every range and by the caller after the run: what the caller wrote before is visible to every
    // chunk, and what every chunk wrote is visible to the caller afterwards.
    std::atomic<long> handover{0};
    std::atomic<bool> failed{false};
    std::stop_token stop; // once requested, no chunk starts
    std::mutex errorLock;
    std::exception_ptr error; // the first exception; later chunks are skipped
};

void runRange(void* context, long first, long last) {
    auto& run = *static_cast<Run*>(context);
    run.handover.load(std::memory_order_acquire);
    for (long chunk = first;
         chunk != last && !run.failed.load(std::memory_order_relaxed) && !run.stop.stop_requested();
         ++chunk) {
        try {
            run.op->ProcessChunk(run.req, chunk);
        } catch (...) {
            std::lock_guard guard(run.errorLock);
            if (!run.error)
                run.error = std::current_exception();
            run.failed = true;
            break;
        }
        if (run.observer)
            (*run.observer)();
    }
    run.handover.fetch_add(1, std::memory_order_release);
}

} // namespace

ThreadedOperator::ThreadedOperator(const Registry* reg, const ScriptVal& value, const TagList& tags)
    : Operator(reg, value, tags) {}

ThreadedOperator::~ThreadedOperator() = default;

// The stand-in host runs chunks only through ProcessChunk; the other entries keep their place.
void ThreadedOperator::ThreadMain(Request* /*req*/, long /*chunk*/) {}
void ThreadedOperator::ProcessChunk(Request* /*req*/, long /*chunk*/) {}
void ThreadedOperator::QuickProcessChunk(Request* /*req*/, long /*chunk*/) {}

void ThreadedOperator::DoMultiProcess(Request* req, long chunks) {
    if (chunks <= 0)
        return;
    auto observer = currentObserver();
    Run run;
    run.op = this;
    run.req = req;
    run.observer = observer.get();
    run.stop = minihost::detail::renderStop(*req);
    run.handover.store(0, std::memory_order_release);
    minihost::detail::runOnPool(chunks, runRange, &run);
    run.handover.load(std::memory_order_acquire);
    if (run.error)
        std::rethrow_exception(run.error);
}

namespace minihost {

void setChunkObserver(std::function<void()> observer) {
    std::lock_guard guard(observerLock);
    chunkObserver =
        observer ? std::make_shared<const std::function<void()>>(std::move(observer)) : nullptr;
}

} // namespace minihost
