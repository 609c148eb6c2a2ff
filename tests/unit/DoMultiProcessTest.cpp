#include "host/Request.h"
#include "host/ThreadedOperator.h"
#include "minihost/Host.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

struct ChunkFailure : std::runtime_error {
    explicit ChunkFailure(long c) : std::runtime_error("chunk failed"), chunk(c) {}
    long chunk;
};

// Counts the runs of every chunk and how many ran at once.
class ChunkProbe : public ThreadedOperator {
  public:
    explicit ChunkProbe(long chunks)
        : ThreadedOperator(nullptr, ScriptVal(), TagList()),
          Runs(static_cast<std::size_t>(chunks)) {}

    void ProcessChunk(Request* req, long chunk) override {
        Started.fetch_add(1);
        const int inside = Inside.fetch_add(1) + 1;
        for (int peak = Peak.load(); inside > peak && !Peak.compare_exchange_weak(peak, inside);) {
        }
        if (req != Expected || chunk < 0 || chunk >= static_cast<long>(Runs.size()))
            Strays.fetch_add(1);
        else
            Runs[static_cast<std::size_t>(chunk)].fetch_add(1);
        try {
            body(chunk);
        } catch (...) {
            Inside.fetch_sub(1);
            Finished.fetch_add(1);
            throw;
        }
        Inside.fetch_sub(1);
        Finished.fetch_add(1);
    }

    void run(long chunks) {
        Request request(nullptr);
        Expected = &request;
        DoMultiProcess(&request, chunks);
    }

    bool eachRanOnce() const {
        for (const auto& runs : Runs)
            if (runs.load() != 1)
                return false;
        return Strays.load() == 0;
    }

    std::function<void(long)> body = [](long) {};
    std::vector<std::atomic<int>> Runs;
    std::atomic<int> Strays{0}, Started{0}, Finished{0}, Inside{0}, Peak{0};
    Request* Expected = nullptr;
};

// Makes every chunk wait until two chunks have been inside at once, or until one shared, generous
// deadline has passed.
std::function<void(long)> meetAnotherChunk(const ChunkProbe& probe) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    return [&probe, deadline](long) {
        while (probe.Peak.load() < 2 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    };
}

class DoMultiProcess : public ::testing::Test {
  protected:
    void TearDown() override { minihost::setThreads(0); }
};

} // namespace

TEST_F(DoMultiProcess, EveryChunkRunsExactlyOnce) {
    for (int threads : {1, 2, 4}) {
        minihost::setThreads(threads);
        for (long chunks : {1L, 7L, 1000L}) {
            SCOPED_TRACE(testing::Message() << threads << " threads, " << chunks << " chunks");
            auto probe = std::make_unique<ChunkProbe>(chunks);
            probe->run(chunks);
            EXPECT_TRUE(probe->eachRanOnce());
            EXPECT_EQ(probe->Started.load(), chunks);
        }
    }
}

TEST_F(DoMultiProcess, NoChunksRunsNothing) {
    auto probe = std::make_unique<ChunkProbe>(1);
    probe->run(0);
    EXPECT_EQ(probe->Started.load(), 0);
}

TEST_F(DoMultiProcess, ChunksRunAtOnceOnSeveralThreads) {
    minihost::setThreads(2);
    auto probe = std::make_unique<ChunkProbe>(8);
    probe->body = meetAnotherChunk(*probe);
    probe->run(8);
    EXPECT_TRUE(probe->eachRanOnce());
    EXPECT_GE(probe->Peak.load(), 2);
}

TEST_F(DoMultiProcess, OneThreadRunsOneChunkAtATime) {
    minihost::setThreads(1);
    EXPECT_EQ(minihost::threads(), 1);
    auto probe = std::make_unique<ChunkProbe>(50);
    probe->run(50);
    EXPECT_TRUE(probe->eachRanOnce());
    EXPECT_EQ(probe->Peak.load(), 1);
}

TEST_F(DoMultiProcess, ChunkExceptionRethrownOnceRunningChunksFinish) {
    minihost::setThreads(2);
    auto probe = std::make_unique<ChunkProbe>(64);
    probe->body = [](long chunk) {
        if (chunk == 5)
            throw ChunkFailure(chunk);
        // Keep the other chunks running while the failure travels.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    try {
        probe->run(64);
        ADD_FAILURE() << "no exception";
    } catch (const ChunkFailure& failure) {
        EXPECT_EQ(failure.chunk, 5);
        EXPECT_EQ(probe->Finished.load(), probe->Started.load());
        EXPECT_EQ(probe->Inside.load(), 0);
    }
    for (const auto& runs : probe->Runs)
        EXPECT_LE(runs.load(), 1);

    // The failure does not outlive its run.
    auto again = std::make_unique<ChunkProbe>(64);
    again->run(64);
    EXPECT_TRUE(again->eachRanOnce());
}
