// How long a test waits for something another thread or process must do (a wake-up, a write-back,
// a child's line) before it fails: 60 seconds, generous for sanitizers and Wine; the mutation
// runner sets MIRADEL_TEST_PATIENCE to a few seconds, so that a fault which stops a wake-up fails
// there instead of waiting out the minute.
#pragma once

#include <chrono>
#include <cstdlib>

namespace miradel::test {

inline std::chrono::milliseconds Patience() {
  const char* text = std::getenv("MIRADEL_TEST_PATIENCE");
  const long seconds = text ? std::strtol(text, nullptr, 10) : 0;
  return std::chrono::seconds(seconds > 0 ? seconds : 60);
}

inline int PatienceMs() { return static_cast<int>(Patience().count()); }

}  // namespace miradel::test
