// Time for measuring waits: a clock that never goes back when the wall clock is set.
#pragma once

#include <chrono>
#include <cstdint>

namespace miradel {

inline std::int64_t MonotonicMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace miradel
