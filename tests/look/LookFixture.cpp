#include "tests/look/LookFixture.h"

#include "app/Failure.h"
#include "app/images/HostImage.h"

#include <cmath>
#include <limits>

namespace looktest {

using namespace umbrix;

Frame testFrame(int width, int height) {
    PlainImage plain;
    plain.windows = {0, 0, width, height, 0, 0, width, height};
    plain.channels = {"R", "G", "B", "Z"};
    const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    plain.pixels = std::make_unique<float[]>(count * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float* pixel =
                &plain.pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                               static_cast<std::size_t>(x)) *
                              4];
            pixel[0] = 0.25f + 0.01f * static_cast<float>(x);
            pixel[1] = 0.5f;
            pixel[2] = 0.02f * static_cast<float>(y);
            pixel[3] = 2.0f + 0.05f * static_cast<float>(x) + (x > width / 2 ? 0.5f : 0.0f) +
                       0.1f * std::sin(static_cast<float>(y));
        }
    plain.pixels[(2 * static_cast<std::size_t>(width) + 3) * 4 + 3] =
        std::numeric_limits<float>::quiet_NaN();
    return frameOf(std::move(plain), "test.exr", FrameNaming{});
}

SessionFixture::SessionFixture() {
    look::FrameSource frames;
    frames.paths = {"shot.0001.exr", "shot.0002.exr", "shot.0003.exr"};
    frames.numbers = {1, 2, 3};
    frames.read = [](std::size_t index) -> std::shared_ptr<const Frame> {
        if (index == 1)
            throw RunError("shot.0002.exr: cannot read: No such file or directory");
        return std::make_shared<const Frame>(testFrame(24 + static_cast<int>(index), 16));
    };
    Session = std::make_unique<look::LookSession>(UMBRIX_PLUGIN_PATH, std::move(frames), [this] {
        std::lock_guard guard(Lock);
        Published.notify_all();
    });
    Session->start(std::make_shared<const Frame>(testFrame()));
}

SessionFixture::~SessionFixture() {
    Session.reset();
}

std::shared_ptr<const look::Picture> SessionFixture::pictureOf(std::uint64_t generation) {
    std::unique_lock guard(Lock);
    std::shared_ptr<const look::Picture> picture;
    Published.wait(guard, [&] {
        picture = Session->picture();
        return picture && picture->generation >= generation;
    });
    return picture;
}

} // namespace looktest
