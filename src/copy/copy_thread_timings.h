// For tests only: shortens the copy thread's fixed intervals so that tests which would wait on
// them many times stay fast. Set before a copy thread starts; Restore puts the product's back.
#pragma once

#include <chrono>

namespace miradel {

struct CopyThreadTimings {
  static void SetRetryPause(std::chrono::milliseconds pause);
  static void SetPollInterval(std::chrono::milliseconds interval);
  // A pause between the thread's finding the queue empty and its parking: widens the window in
  // which a wake-up could be lost, so that racing tests hit it often.
  static void SetParkDelay(std::chrono::microseconds delay);
  static void Restore();
};

}  // namespace miradel
