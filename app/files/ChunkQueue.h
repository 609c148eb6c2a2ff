#pragma once

#include "app/files/CodecThreads.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <vector>

namespace umbrix {

// Chunks encoded on the pool a batch at a time, a bounded number of batches ahead of the one
// being written, so that memory does not grow with the image.
class ChunkQueue {
  public:
    ChunkQueue(int chunks, int perBatch) : PerBatch(perBatch) {
        const int batches = (chunks + perBatch - 1) / perBatch;
        Batches.resize(static_cast<std::size_t>(batches));
        for (int b = 0; b < batches; ++b)
            Batches[static_cast<std::size_t>(b)].chunks.resize(
                static_cast<std::size_t>(std::min(perBatch, chunks - b * perBatch)));
    }
    ~ChunkQueue() {
        std::unique_lock guard(Lock);
        Changed.wait(guard, [&] { return Running == 0; });
    }
    ChunkQueue(const ChunkQueue&) = delete;
    ChunkQueue& operator=(const ChunkQueue&) = delete;

    int batches() const { return static_cast<int>(Batches.size()); }

    // Encodes batch `b` with encode(place in the file's order of its first chunk, the chunks'
    // bytes to fill).
    template <typename Encode> void start(int b, Encode encode) {
        {
            std::lock_guard guard(Lock);
            ++Running;
        }
        postToHostPool([this, b, encode] {
            Batch& batch = Batches[static_cast<std::size_t>(b)];
            std::exception_ptr error;
            try {
                encode(b * PerBatch, batch.chunks);
            } catch (...) {
                error = std::current_exception();
            }
            std::lock_guard guard(Lock);
            batch.error = error;
            batch.done = true;
            --Running;
            Changed.notify_all();
        });
    }

    // Waits for batch `b`; its chunks' bytes, which the caller may release.
    std::vector<std::vector<std::uint8_t>>& wait(int b) {
        Batch& batch = Batches[static_cast<std::size_t>(b)];
        std::unique_lock guard(Lock);
        Changed.wait(guard, [&] { return batch.done; });
        if (batch.error)
            std::rethrow_exception(batch.error);
        return batch.chunks;
    }

  private:
    struct Batch {
        std::vector<std::vector<std::uint8_t>> chunks;
        bool done = false;
        std::exception_ptr error;
    };
    int PerBatch;
    std::vector<Batch> Batches;
    std::mutex Lock;
    std::condition_variable Changed;
    int Running = 0;
};

} // namespace umbrix
