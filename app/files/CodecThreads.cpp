#include "app/files/CodecThreads.h"

#include "minihost/Host.h"

#include <OpenEXR/IlmThreadPool.h>

namespace umbrix {

namespace {

class HostPoolProvider : public IlmThread::ThreadPoolProvider {
  public:
    int numThreads() const override { return minihost::threads(); }
    // The pool's size is the host's to set.
    void setNumThreads(int) override {}
    void addTask(IlmThread::Task* task) override {
        minihost::post([task] {
            IlmThread::TaskGroup* group = task->group();
            task->execute();
            delete task;
            if (group)
                group->finishOneTask();
        });
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
