#include "minihost/Internal.h"

#include <atomic>
#include <mutex>
#include <stdexcept>

namespace {

// Function-local statics: the host's own static identifiers are built during load, before any
// namespace-scope object of another file is guaranteed to exist.
struct Observation {
    std::mutex lock;
    std::function<void(const std::string&)> lifecycle;
    std::atomic<int> allocationFailures{0};
    std::atomic<int> controlFailureCountdown{0};
};

Observation& observation() {
    static Observation state;
    return state;
}

} // namespace

namespace minihost {

void setLifecycleObserver(std::function<void(const std::string&)> observer) {
    std::lock_guard guard(observation().lock);
    observation().lifecycle = std::move(observer);
}

void failNextAllocations(int count) {
    observation().allocationFailures = count;
}

void failControlCreation(int nth) {
    observation().controlFailureCountdown = nth;
}

namespace detail {

void notifyLifecycle(const std::string& event) {
    std::lock_guard guard(observation().lock);
    if (observation().lifecycle)
        observation().lifecycle(event);
}

bool takeAllocationFailure() {
    auto& failures = observation().allocationFailures;
    int left = failures.load();
    while (left > 0)
        if (failures.compare_exchange_weak(left, left - 1))
            return true;
    return false;
}

void countControlCreation() {
    auto& countdown = observation().controlFailureCountdown;
    if (countdown > 0 && --countdown == 0)
        throw std::runtime_error("control creation failed");
}

} // namespace detail
} // namespace minihost
