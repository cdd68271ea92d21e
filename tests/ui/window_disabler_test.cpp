// The host's window stays disabled while a question of the copy thread is up, and is enabled once
// when it is over, without waiting out the interval.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "support/scripted_ui.h"
#include "ui/window_disabler.h"
#include "ui/window_disabler_timings.h"

namespace miradel::ui {
namespace {

using namespace std::chrono_literals;
using Enable = test::ScriptedUi::Enable;

TEST(WindowDisablerTest, DisablesAgainUntilStoppedThenEnablesOnceAtOnce) {
  struct RestoreTimings { ~RestoreTimings() { WindowDisablerTimings::Restore(); } } restore;
  // A short interval: disabled again and again while up. A long one: Stop does not wait it out.
  for (const auto interval : {1ms, 60000ms}) {
    test::ScriptedUi ui;
    test::ScopedUi scope(&ui);
    WindowDisablerTimings::SetInterval(interval);
    WindowDisabler(0).Stop();  // no window: no call at all
    const std::size_t disables = interval < 1s ? 3 : 1;
    {
      WindowDisabler disabler(0x77);
      for (int i = 0; i < 6000 && ui.enables().size() < disables; ++i) std::this_thread::sleep_for(10ms);
      const auto stop = std::chrono::steady_clock::now();
      disabler.Stop();  // and the destructor once more
      EXPECT_TRUE(std::chrono::steady_clock::now() - stop < 10s) << interval.count() << " ms waited out";
    }
    std::this_thread::sleep_for(20ms);  // time for a late call to show
    std::vector<Enable> seen = ui.enables();
    ASSERT_GT(seen.size(), disables) << interval.count();
    EXPECT_EQ(Enable(0x77, true), seen.back());
    seen.pop_back();
    EXPECT_EQ(seen, std::vector<Enable>(seen.size(), Enable(0x77, false)));
  }
}

}  // namespace
}  // namespace miradel::ui
