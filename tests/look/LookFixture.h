#pragma once

#include "look/LookSession.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace looktest {

// A small frame made in memory: R G B and a depth with slopes and steps, so that both passes have
// something to find; a NaN depth at (3, 2).
umbrix::Frame testFrame(int width = 24, int height = 16);

// A session on the real tool with test frames: frame 1 of a sequence of three cannot be read.
class SessionFixture {
  public:
    SessionFixture();
    ~SessionFixture();

    umbrix::look::LookSession& session() { return *Session; }
    // Waits until the picture of `generation` (or a newer one) is published; no timing involved.
    std::shared_ptr<const umbrix::look::Picture> pictureOf(std::uint64_t generation);

  private:
    std::mutex Lock;
    std::condition_variable Published;
    std::unique_ptr<umbrix::look::LookSession> Session;
};

} // namespace looktest
