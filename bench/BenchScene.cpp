#include "bench/BenchScene.h"

#include "app/ChannelMap.h"
#include "app/DemoScene.h"
#include "app/HostImage.h"

namespace bench {

minihost::ImagePtr benchScene(int width, int height) {
    const umbrix::FileImage frame = umbrix::demoScene(width, height);
    const umbrix::ChannelMap map = umbrix::mapChannels(frame.header.channelnames, {}, "demo");
    auto image = minihost::makeImage(width, height, map.extra);
    umbrix::scatterPixels(frame.pixels.get(), map.numbers, *image);
    return image;
}

} // namespace bench
