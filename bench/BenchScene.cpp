#include "bench/BenchScene.h"

#include "app/images/HostImage.h"
#include "cli/DemoScene.h"

namespace bench {

minihost::ImagePtr benchScene(int width, int height) {
    umbrix::Frame frame = umbrix::frameOf(umbrix::demoScene(width, height), "demo", {});
    return std::move(frame.image);
}

} // namespace bench
