// A user interface for tests: answers from a queue, and a record of every box shown.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ui/user_interface.h"

namespace miradel::test {

class ScriptedUi : public ui::UserInterface {
 public:
  struct Shown {
    std::intptr_t owner = 0;
    std::string text;
    std::string caption;
    unsigned style = 0;
    bool centred = false;  // centre_on_owner was asked for
    std::string yes_label;
    std::string no_label;
    std::thread::id thread;
    int answer = 0;  // what the box answered
  };

  // Answers taken in order, one per box; when none is left, the default answer (or, without one,
  // ui::DefaultAnswer of the box).
  void QueueAnswer(int answer) { QueueAnswers({answer}); }
  void QueueAnswers(const std::vector<int>& answers);
  void SetDefaultAnswer(int answer);

  // While held, every box waits in MessageBox until Release() (recorded as shown meanwhile), so
  // that a test can have boxes of several threads up at once.
  void Hold() { SetHeld(true); }
  void Release() { SetHeld(false); }

  int MessageBox(const ui::MessageBoxRequest& request) override;

  // Everything shown so far, in the order the boxes appeared.
  std::vector<Shown> shown() const;
  std::size_t count() const { return shown().size(); }
  // Waits until at least n boxes were shown; false when that did not happen within limit (a
  // safety net against a hung test, not a measure of speed).
  bool WaitUntilShown(std::size_t n, std::chrono::milliseconds limit = std::chrono::seconds(60)) const;

 private:
  void SetHeld(bool held);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<int> answers_;
  int default_answer_ = 0;  // 0: none
  bool held_ = false;
  std::vector<Shown> shown_;
};

// Installs a user interface as ui::Current() for a scope and puts the previous one back.
class ScopedUi {
 public:
  explicit ScopedUi(ui::UserInterface* ui) : previous_(ui::SetCurrent(ui)) {}
  ~ScopedUi() { ui::SetCurrent(previous_); }
  ScopedUi(const ScopedUi&) = delete;
  ScopedUi& operator=(const ScopedUi&) = delete;

 private:
  ui::UserInterface* previous_;
};

}  // namespace miradel::test
