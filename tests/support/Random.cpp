#include "tests/support/Random.h"

namespace testsupport {

float Random::uniform(float low, float high) {
    const float unit = static_cast<float>(Engine() >> 8) * 0x1p-24f;
    return low + (high - low) * unit;
}

int Random::below(int count) {
    return static_cast<int>(Engine() % static_cast<std::uint32_t>(count));
}

bool Random::chance(double probability) {
    return static_cast<double>(Engine()) < probability * 4294967296.0;
}

} // namespace testsupport
