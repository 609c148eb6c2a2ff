#pragma once

#include "bench/BenchFrame.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

namespace bench {

// Calls row(y) for every row of the frame on the arena's threads, rows spread as the host spreads
// chunks.
template <class Row> void eachRow(tbb::task_arena& arena, const Row& row) {
    arena.execute([&] {
        tbb::parallel_for(tbb::blocked_range<int>(0, Height, 1),
                          [&](const tbb::blocked_range<int>& rows) {
                              for (int y = rows.begin(); y != rows.end(); ++y)
                                  row(y);
                          });
    });
}

} // namespace bench
