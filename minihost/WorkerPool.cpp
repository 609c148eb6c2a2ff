// The worker pool: threads of its own, made when it is first used. A thread that cannot be made
// (memory or threads running out) is simply not there: its place goes to the threads that give
// the pool work, which then do that work themselves, so that no run ever waits for a worker that
// never started.

#include "minihost/WorkerPool.h"

#include "minihost/Host.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <pthread.h>
#include <sched.h>
#include <thread>
#include <vector>

namespace minihost {

int processorCount() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

} // namespace minihost

namespace {

// A worker's stack. The system's default (often 8 MiB) is reserved for every worker against an
// address-space limit, and chunks need far less.
constexpr std::size_t WorkerStack = std::size_t{4} << 20;

// Whether this thread is one of a pool's workers.
thread_local bool isWorker = false;
// The most workers this thread's runs use; 0 for all.
thread_local int runWidth = 0;

// At most Size threads work at once, whoever gives the pool work: each worker holds one of Size
// places, and a thread that runs chunks itself takes a place the workers left free, or else hands
// its chunks to the workers and waits.
class Pool {
  public:
    explicit Pool(int size) : Size(size), Shared(std::make_shared<Queue>()) {
        try {
            Workers.reserve(static_cast<std::size_t>(Size));
            pthread_t worker{};
            // Out of memory or threads, the pool goes on with the workers it has.
            while (static_cast<int>(Workers.size()) < Size && launch(worker))
                Workers.push_back(worker);
        } catch (const std::bad_alloc&) {
        }
        Shared->freePlaces = Size - static_cast<int>(Workers.size());
    }

    ~Pool() {
        {
            const std::lock_guard guard(Shared->lock);
            Shared->stopping = true;
        }
        Shared->wake.notify_all();
        // A worker that lets go of the pool last cannot wait for itself; it ends on its own, the
        // queue being its own too.
        for (const pthread_t worker : Workers)
            if (pthread_equal(worker, pthread_self()))
                pthread_detach(worker);
            else
                pthread_join(worker, nullptr);
    }

    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    int size() const { return Size; }

    // Runs the job on a worker, or here and now when the pool has none.
    void post(std::function<void()> job) {
        if (Workers.empty()) {
            job();
            return;
        }
        {
            const std::lock_guard guard(Shared->lock);
            Shared->jobs.push_back(std::move(job));
        }
        Shared->wake.notify_one();
    }

    void run(long count, minihost::detail::RangeBody body, void* context) {
        auto current = std::make_shared<Run>(count, body, context);
        const long workers = static_cast<long>(Workers.size());
        const long helpers =
            std::min(count, runWidth > 0 ? std::min<long>(runWidth, workers) : workers);
        if (helpers > 0) {
            {
                const std::lock_guard guard(Shared->lock);
                for (long k = 0; k < helpers; ++k)
                    Shared->jobs.emplace_back([current] { current->takeChunks(); });
            }
            Shared->wake.notify_all();
        }
        // A worker holds a place already; anyone else needs a free one to join in.
        const bool joins = isWorker || takePlace();
        if (joins) {
            current->takeChunks();
            if (!isWorker)
                givePlace();
        }
        current->wait();
    }

  private:
    // One runOnPool call: chunks are taken one at a time by whoever runs them.
    struct Run {
        Run(long chunks, minihost::detail::RangeBody function, void* data)
            : count(chunks), body(function), context(data) {}

        void takeChunks() {
            for (long chunk = next.fetch_add(1); chunk < count; chunk = next.fetch_add(1)) {
                body(context, chunk, chunk + 1);
                const std::lock_guard guard(lock);
                if (++done == count)
                    finished.notify_all();
            }
        }

        void wait() {
            std::unique_lock guard(lock);
            finished.wait(guard, [this] { return done == count; });
        }

        const long count;
        const minihost::detail::RangeBody body;
        void* const context;
        std::atomic<long> next{0};
        std::mutex lock;
        std::condition_variable finished;
        long done = 0;
    };

    // What the workers share with the pool, kept by each of them.
    struct Queue {
        std::mutex lock;
        std::condition_variable wake;
        std::deque<std::function<void()>> jobs;
        bool stopping = false;
        int freePlaces = 0;
    };

    const int Size;
    std::shared_ptr<Queue> Shared;
    std::vector<pthread_t> Workers;

    static void* startWorker(void* argument) {
        const std::unique_ptr<std::shared_ptr<Queue>> queue(
            static_cast<std::shared_ptr<Queue>*>(argument));
        work(**queue);
        return nullptr;
    }

    bool launch(pthread_t& worker) {
        pthread_attr_t attributes;
        if (pthread_attr_init(&attributes) != 0)
            return false;
        pthread_attr_setstacksize(&attributes, WorkerStack);
        auto* argument = new (std::nothrow) std::shared_ptr<Queue>(Shared);
        const bool started =
            argument && pthread_create(&worker, &attributes, startWorker, argument) == 0;
        if (!started)
            delete argument;
        else
            // Named, so that a profiler, top -H or a test tells the render workers apart.
            pthread_setname_np(worker, "umbrix-worker");
        pthread_attr_destroy(&attributes);
        return started;
    }

    bool takePlace() {
        const std::lock_guard guard(Shared->lock);
        if (Shared->freePlaces == 0)
            return false;
        --Shared->freePlaces;
        return true;
    }

    void givePlace() {
        const std::lock_guard guard(Shared->lock);
        ++Shared->freePlaces;
    }

    static void work(Queue& queue) {
        isWorker = true;
        while (true) {
            std::function<void()> job;
            {
                std::unique_lock guard(queue.lock);
                queue.wake.wait(guard, [&queue] { return queue.stopping || !queue.jobs.empty(); });
                if (queue.jobs.empty())
                    return;
                job = std::move(queue.jobs.front());
                queue.jobs.pop_front();
            }
            job();
        }
    }
};

std::mutex poolLock;
int poolThreads = 0;
std::shared_ptr<Pool> pool;

// A forked child has none of the workers, and its copy of a queue's lock may be held by one of
// them: the parent's pool is left untouched there (its destructor would join threads that do not
// exist) and the child's first run starts a pool of its own. The pool's lock is held across the
// fork, so that the child's copy is free.
std::vector<std::shared_ptr<Pool>>* forsaken = nullptr;

void beforeFork() {
    poolLock.lock();
}

void afterForkInParent() {
    poolLock.unlock();
}

void afterForkInChild() {
    if (pool) {
        if (!forsaken)
            forsaken = new std::vector<std::shared_ptr<Pool>>;
        forsaken->push_back(std::move(pool));
    }
    poolLock.unlock();
}

// At load, before any user of the pool registers its own: those run before these at a fork, and
// may wait there for runs that need the pool's lock.
[[maybe_unused]] const int forkHandlers =
    pthread_atfork(beforeFork, afterForkInParent, afterForkInChild);

std::shared_ptr<Pool> currentPool() {
    const std::lock_guard guard(poolLock);
    if (!pool)
        pool = std::make_shared<Pool>(poolThreads > 0 ? poolThreads : minihost::processorCount());
    return pool;
}

} // namespace

namespace minihost {

void setThreads(int count) {
    std::shared_ptr<Pool> old;
    {
        const std::lock_guard guard(poolLock);
        poolThreads = count > 0 ? count : 0;
        old = std::move(pool);
    }
    // Its workers finish their jobs and end here, or with the last run still using it.
}

RunWidth::RunWidth(int workers) : Outer(runWidth) {
    runWidth = workers;
}

RunWidth::~RunWidth() {
    runWidth = Outer;
}

int threads() {
    return currentPool()->size();
}

void post(std::function<void()> job) {
    currentPool()->post(std::move(job));
}

namespace detail {

void runOnPool(long count, RangeBody body, void* context) {
    if (count <= 0)
        return;
    currentPool()->run(count, body, context);
}

} // namespace detail
} // namespace minihost
