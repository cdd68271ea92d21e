// The local clock in whole seconds since 1970, against which the commands age locks and records.
#pragma once

#include <chrono>
#include <cstdint>

namespace miradel::tools {

inline std::int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace miradel::tools
