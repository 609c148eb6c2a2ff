#pragma once

namespace minihost::detail {

// Calls body(context, first, last) for disjoint ranges covering [0, count) on the worker pool and
// returns when all calls have returned. The body must not throw.
using RangeBody = void (*)(void* context, long first, long last);
void runOnPool(long count, RangeBody body, void* context);

} // namespace minihost::detail
