#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "support/child.h"

namespace {

// Every wait in a test ends: a test that has not finished within the limit stops the whole run
// with its name, instead of hanging until the test runner's own limit. The state outlives the
// listener (the watching thread runs until the process ends).
struct WatchState {
  std::mutex mu;
  std::condition_variable cv;
  std::string name;
  std::chrono::steady_clock::time_point deadline;
  bool running = false;
};

void Watch(WatchState* w, std::chrono::seconds limit) {
  std::unique_lock<std::mutex> g(w->mu);
  for (;;) {
    w->cv.wait(g, [&] { return w->running; });
    while (w->running && std::chrono::steady_clock::now() < w->deadline) w->cv.wait_until(g, w->deadline);
    if (w->running) {
      std::fprintf(stderr, "\n%s did not finish within %lld s: it waits for something that never comes\n",
                   w->name.c_str(), static_cast<long long>(limit.count()));
      std::fflush(stderr);
      std::_Exit(3);
    }
  }
}

class Watchdog : public testing::EmptyTestEventListener {
 public:
  explicit Watchdog(std::chrono::seconds limit) : limit_(limit) { std::thread(Watch, w_, limit).detach(); }
  void OnTestStart(const testing::TestInfo& info) override {
    std::lock_guard<std::mutex> g(w_->mu);
    w_->name = std::string(info.test_suite_name()) + "." + info.name();
    w_->deadline = std::chrono::steady_clock::now() + limit_;
    w_->running = true;
    w_->cv.notify_all();
  }
  void OnTestEnd(const testing::TestInfo&) override {
    std::lock_guard<std::mutex> g(w_->mu);
    w_->running = false;
    w_->cv.notify_all();
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
  // Generous: the slowest test, under an emulator and a sanitizer, takes well under a minute.
  testing::UnitTest::GetInstance()->listeners().Append(new Watchdog(std::chrono::seconds(120)));
  return RUN_ALL_TESTS();
}
