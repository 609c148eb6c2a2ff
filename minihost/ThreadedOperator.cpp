#include "host/ThreadedOperator.h"

#include "minihost/Internal.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

FuID ThreadedOperator::ClassID("ThreadedOperator", true);

namespace {

std::mutex poolLock;
int poolThreads = 0;
std::shared_ptr<tbb::task_arena> pool;
std::shared_ptr<const std::function<void()>> chunkObserver;

std::shared_ptr<tbb::task_arena> currentPool() {
    std::lock_guard guard(poolLock);
    if (!pool)
        pool = poolThreads > 0 ? std::make_shared<tbb::task_arena>(poolThreads)
                               : std::make_shared<tbb::task_arena>();
    return pool;
}

std::shared_ptr<const std::function<void()>> currentObserver() {
    std::lock_guard guard(poolLock);
    return chunkObserver;
}

// The first exception a chunk throws; later chunks are skipped and it is rethrown at the end.
class FirstFailure {
  public:
    bool failed() const { return Failed.load(std::memory_order_acquire); }
    void record(std::exception_ptr error) {
        std::lock_guard guard(Lock);
        if (!Error)
            Error = error;
        Failed.store(true, std::memory_order_release);
    }
    void rethrow() {
        if (Error)
            std::rethrow_exception(Error);
    }

  private:
    std::mutex Lock;
    std::exception_ptr Error;
    std::atomic<bool> Failed{false};
};

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
    auto arena = currentPool();
    auto observer = currentObserver();
    FirstFailure failure;
    arena->execute([&] {
        tbb::parallel_for(tbb::blocked_range<long>(0, chunks, 1),
                          [&](const tbb::blocked_range<long>& range) {
                              for (long chunk = range.begin(); chunk != range.end(); ++chunk) {
                                  if (failure.failed())
                                      return;
                                  try {
                                      ProcessChunk(req, chunk);
                                  } catch (...) {
                                      failure.record(std::current_exception());
                                      return;
                                  }
                                  if (observer)
                                      (*observer)();
                              }
                          });
    });
    failure.rethrow();
}

namespace minihost {

void setThreads(int count) {
    std::lock_guard guard(poolLock);
    poolThreads = count > 0 ? count : 0;
    pool.reset();
}

int threads() {
    return currentPool()->max_concurrency();
}

void setChunkObserver(std::function<void()> observer) {
    std::lock_guard guard(poolLock);
    chunkObserver =
        observer ? std::make_shared<const std::function<void()>>(std::move(observer)) : nullptr;
}

} // namespace minihost
