#include "app/files/CodecThreads.h"

#include "minihost/Host.h"

#include <OpenEXR/IlmThreadPool.h>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace umbrix {

namespace {

class HostPoolProvider : public IlmThread::ThreadPoolProvider {
    std::atomic<bool> PostFailed{false};

    static void run(IlmThread::Task* task) {
        IlmThread::TaskGroup* group = task->group();
        task->execute();
        delete task;
        if (group)
            group->finishOneTask();
    }

  public:
    int numThreads() const override { return minihost::threads(); }
    // The pool's size is the host's to set.
    void setNumThreads(int) override {}
    void addTask(IlmThread::Task* task) override {
        // The task's group already counts it and waits for it, so it must run, once, whatever
        // happens. When posting fails (memory or threads running out) it may be queued all the
        // same: whoever claims it first runs it, here and now if the pool has not. A pool that
        // failed once may never start a worker again, so later tasks run here too.
        std::shared_ptr<std::atomic<bool>> claimed;
        try {
            if (PostFailed.load())
                throw std::runtime_error("the pool takes no more tasks");
            claimed = std::make_shared<std::atomic<bool>>(false);
            minihost::post([task, claimed] {
                if (!claimed->exchange(true))
                    run(task);
            });
        } catch (...) {
            PostFailed.store(true);
            if (!claimed || !claimed->exchange(true))
                run(task);
        }
    }
    // Tasks are waited for by their groups; the pool itself outlives this provider's use.
    void finish() override {}
};

struct TaskCount {
    std::mutex lock;
    std::condition_variable finished;
    int left = 0;
    std::exception_ptr error;
};

} // namespace

void postToHostPool(std::function<void()> job) {
    // As in addTask above: a job the pool failed to take may still be queued, so whoever claims
    // it first runs it.
    std::shared_ptr<std::atomic<bool>> claimed;
    try {
        claimed = std::make_shared<std::atomic<bool>>(false);
        minihost::post([job, claimed] {
            if (!claimed->exchange(true))
                job();
        });
    } catch (...) {
        if (!claimed || !claimed->exchange(true))
            job();
    }
}

void runOnHostPool(int count, const std::function<void(int)>& task) {
    auto state = std::make_shared<TaskCount>();
    state->left = count;
    auto run = [state, &task](int index) {
        std::exception_ptr error;
        try {
            task(index);
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard guard(state->lock);
        if (error && !state->error)
            state->error = error;
        if (--state->left == 0)
            state->finished.notify_all();
    };
    for (int index = 0; index < count; ++index)
        postToHostPool([run, index] { run(index); });
    std::unique_lock guard(state->lock);
    state->finished.wait(guard, [&] { return state->left == 0; });
    if (state->error)
        std::rethrow_exception(state->error);
}

void runCodecsOnHostPool() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    IlmThread::ThreadPool::globalThreadPool().setThreadProvider(new HostPoolProvider);
}

} // namespace umbrix
