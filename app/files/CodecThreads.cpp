#include "app/files/CodecThreads.h"

#include "minihost/Host.h"

#include <OpenEXR/IlmThreadPool.h>
#include <atomic>
#include <memory>
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

} // namespace

void runCodecsOnHostPool() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    IlmThread::ThreadPool::globalThreadPool().setThreadProvider(new HostPoolProvider);
}

} // namespace umbrix
