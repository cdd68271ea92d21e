// For tests only: shortens or lengthens the interval at which WindowDisabler disables the window
// again. Set before a disabler starts; Restore puts the product's back.
#pragma once

#include <chrono>

namespace miradel::ui {

struct WindowDisablerTimings {
  static void SetInterval(std::chrono::milliseconds interval);
  static void Restore();
};

}  // namespace miradel::ui
