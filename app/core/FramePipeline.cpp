#include "app/core/FramePipeline.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace umbrix {

namespace {

struct Held {
    std::size_t index = 0;
    Rendered frame;
    std::exception_ptr unread; // the frame is skipped, having failed to read so
};

class Pipeline {
  public:
    Pipeline(std::size_t count, const FrameStages& stages, const FrameSkipping& skipping)
        : Count(count), Stages(stages), Skipping(skipping) {}

    PipelineOutcome run() {
        std::thread reader;
        std::thread writer;
        try {
            reader = std::thread([this] { readAll(); });
            writer = std::thread([this] { writeAll(); });
        } catch (...) {
            // Out of threads: the reader, if it started, stops before anything is written.
            stop();
            if (reader.joinable())
                reader.join();
            throw;
        }
        renderAll();
        stop();
        reader.join();
        writer.join();
        return Outcome;
    }

  private:
    std::size_t Count;
    const FrameStages& Stages;
    const FrameSkipping& Skipping;
    std::mutex Lock;
    std::condition_variable Changed;
    std::optional<Held> ReadSlot;  // read, waiting to render
    std::optional<Held> WriteSlot; // rendered, waiting to be written
    bool ReadDone = false;
    bool RenderDone = false;
    bool StopReading = false;
    bool WriteFailed = false;
    PipelineOutcome Outcome;

    void stop() {
        {
            const std::lock_guard guard(Lock);
            RenderDone = true;
            StopReading = true;
        }
        Changed.notify_all();
    }

    void fail(std::size_t index) {
        const std::lock_guard guard(Lock);
        if (!Outcome.failure || index < Outcome.failedIndex) {
            Outcome.failure = std::current_exception();
            Outcome.failedIndex = index;
        }
        StopReading = true;
    }

    void readAll() {
        for (std::size_t index = 0; index < Count; ++index) {
            {
                std::unique_lock guard(Lock);
                Changed.wait(guard, [this] { return !ReadSlot || StopReading; });
                if (StopReading)
                    break;
            }
            Held held{index, {}, {}};
            try {
                held.frame = Stages.read(index);
            } catch (...) {
                held.unread = std::current_exception();
                if (!Skipping.skippable || !Skipping.skippable(held.unread)) {
                    fail(index);
                    break;
                }
            }
            {
                const std::lock_guard guard(Lock);
                ReadSlot = std::move(held);
            }
            Changed.notify_all();
        }
        {
            const std::lock_guard guard(Lock);
            ReadDone = true;
        }
        Changed.notify_all();
    }

    void renderAll() {
        while (true) {
            std::optional<Held> held;
            {
                std::unique_lock guard(Lock);
                Changed.wait(guard, [this] { return !WriteSlot || WriteFailed; });
                Changed.wait(guard, [this] { return ReadSlot || ReadDone || WriteFailed; });
                if (WriteFailed || !ReadSlot)
                    return;
                held = std::move(ReadSlot);
                ReadSlot.reset();
            }
            Changed.notify_all();
            try {
                if (!held->unread)
                    Stages.render(held->index, held->frame);
            } catch (...) {
                fail(held->index);
                return;
            }
            {
                const std::lock_guard guard(Lock);
                WriteSlot = std::move(held);
            }
            Changed.notify_all();
        }
    }

    void writeAll() {
        while (true) {
            std::optional<Held> held;
            {
                std::unique_lock guard(Lock);
                Changed.wait(guard, [this] { return WriteSlot || RenderDone; });
                if (!WriteSlot)
                    return;
                held = std::move(WriteSlot);
                WriteSlot.reset();
            }
            Changed.notify_all();
            try {
                if (held->unread)
                    Skipping.skip(held->index, held->unread);
                else
                    Stages.write(held->index, held->frame);
            } catch (...) {
                fail(held->index);
                const std::lock_guard guard(Lock);
                WriteFailed = true;
                Changed.notify_all();
                return;
            }
            {
                const std::lock_guard guard(Lock);
                ++(held->unread ? Outcome.skipped : Outcome.written);
            }
        }
    }
};

} // namespace

PipelineOutcome runPipeline(std::size_t count, const FrameStages& stages,
                            const FrameSkipping& skipping) {
    return Pipeline(count, stages, skipping).run();
}

} // namespace umbrix
