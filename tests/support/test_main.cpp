#include <mutex>
#include <thread>

#include "support/child.h"

namespace {

// Every wait in a test ends: a test that has not finished within the limit stops the whole run
// with its name, instead of hanging until the test runner's own limit. The state outlives the
// listener (the watching thread runs until the process ends).
using Clock = std::chrono::steady_clock;
struct WatchState { std::mutex mu; std::string name; Clock::time_point deadline = Clock::time_point::max(); };

class Watchdog : public testing::EmptyTestEventListener {
 public:
  explicit Watchdog(std::chrono::seconds limit) : limit_(limit) {
    std::thread([w = w_, limit] {
      for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        std::lock_guard<std::mutex> g(w->mu);
        if (Clock::now() < w->deadline) continue;
        std::fprintf(stderr, "\n%s did not finish within %lld s: it waits for something that never comes\n",
                     w->name.c_str(), static_cast<long long>(limit.count()));
        std::fflush(stderr);
        std::_Exit(3);
      }
    }).detach();
  }
  void OnTestStart(const testing::TestInfo& info) override {
    std::lock_guard<std::mutex> g(w_->mu);
    w_->name = std::string(info.test_suite_name()) + "." + info.name();
    w_->deadline = Clock::now() + limit_;
  }
  void OnTestEnd(const testing::TestInfo&) override {
    std::lock_guard<std::mutex> g(w_->mu);
    w_->deadline = Clock::time_point::max();
  }

 private:
  std::chrono::seconds limit_;
  WatchState* w_ = new WatchState;
};

}  // namespace

int main(int argc, char** argv) {
  int code = 0;
  if (miradel::test::RunChildIfRequested(argc, argv, &code)) return code;
  testing::InitGoogleTest(&argc, argv);
  // Six times the patience: the slowest test (a lock race variant, 1,000 rounds) takes some 12 s on
  // a quiet machine and over 120 s on one busy with other builds.
  testing::UnitTest::GetInstance()->listeners().Append(
      new Watchdog(std::chrono::duration_cast<std::chrono::seconds>(6 * miradel::test::Patience())));
  return RUN_ALL_TESTS();
}
