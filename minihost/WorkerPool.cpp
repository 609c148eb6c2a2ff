// The worker pool. Under ThreadSanitizer this file is built uninstrumented, like the pool library
// itself, so that the pool's own hand-over of work is not reported; the callers state the ordering
// the pool guarantees with atomics of their own.

#include "minihost/WorkerPool.h"

#include "minihost/Host.h"

#include <memory>
#include <mutex>
#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

namespace {

std::mutex poolLock;
int poolThreads = 0;
std::shared_ptr<tbb::task_arena> pool;
// Without it the pool never grows past one worker per core, whatever the arena asks for.
std::unique_ptr<tbb::global_control> parallelism;

// Every slot of the arena may go to a worker: jobs posted while no thread renders get all the
// pool's threads, and a thread that renders joins when a slot is free or hands its work to the
// pool and waits. So the pool runs at most its size in threads, whoever gives it work.
std::shared_ptr<tbb::task_arena> currentPool() {
    std::lock_guard guard(poolLock);
    if (!pool) {
        const int size = poolThreads > 0 ? poolThreads : tbb::this_task_arena::max_concurrency();
        parallelism = std::make_unique<tbb::global_control>(
            tbb::global_control::max_allowed_parallelism, static_cast<std::size_t>(size) + 1);
        auto arena = std::make_shared<tbb::task_arena>(size, 0);
        // Here, under the lock: an arena whose first use fails part way (out of memory) would
        // leave every later use waiting for it forever. One that fails is dropped.
        arena->initialize();
        pool = std::move(arena);
    }
    return pool;
}

} // namespace

namespace minihost {

void setThreads(int count) {
    std::lock_guard guard(poolLock);
    poolThreads = count > 0 ? count : 0;
    pool.reset();
    parallelism.reset();
}

int threads() {
    return currentPool()->max_concurrency();
}

void post(std::function<void()> job) {
    currentPool()->enqueue(std::move(job));
}

namespace detail {

void runOnPool(long count, RangeBody body, void* context) {
    auto arena = currentPool();
    arena->execute([&] {
        tbb::parallel_for(tbb::blocked_range<long>(0, count, 1),
                          [&](const tbb::blocked_range<long>& range) {
                              body(context, range.begin(), range.end());
                          });
    });
}

} // namespace detail
} // namespace minihost
