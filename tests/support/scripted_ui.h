// A user interface for tests: answers from a queue, and a record of every box shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
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
    int answer = 0;  // what the box answered
  };

  // Answers taken in order, one per box; when none is left, ui::DefaultAnswer of the box.
  void QueueAnswers(const std::vector<int>& answers);

  int MessageBox(const ui::MessageBoxRequest& request) override;

  // Everything shown so far, in the order the boxes appeared.
  std::vector<Shown> shown() const;
  std::size_t count() const { return shown().size(); }

 private:
  mutable std::mutex mutex_;
  std::deque<int> answers_;
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
