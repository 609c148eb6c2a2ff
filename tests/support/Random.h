#pragma once

#include <cstdint>
#include <initializer_list>
#include <random>

namespace testsupport {

// Draws from a fixed-seed std::mt19937 through distributions defined here, so that the images,
// samples and controls drawn are the same with any standard library.
class Random {
  public:
    explicit Random(std::uint32_t seed) : Engine(seed) {}

    float uniform(float low, float high);
    int below(int count);
    bool chance(double probability);
    template <class T> T pick(std::initializer_list<T> values) {
        return values.begin()[below(static_cast<int>(values.size()))];
    }

  private:
    std::mt19937 Engine;
};

} // namespace testsupport
