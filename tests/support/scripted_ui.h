// A user interface for tests: answers and folders from queues, and a record of every box shown,
// every folder browser and every enabling of a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>
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

  using Browsed = std::tuple<std::intptr_t, std::string, unsigned>;  // owner, title, flags
  using Enable = std::pair<std::intptr_t, bool>;                       // window, enable

  // Folders taken in order, one per browser; an empty one, or none left, is cancelled.
  void QueueFolders(const std::vector<std::string>& folders);

  int MessageBox(const ui::MessageBoxRequest& request) override;
  ui::FolderChoice BrowseForFolder(std::intptr_t owner, const std::string& title, unsigned flags,
                                   std::string* folder) override;
  void EnableWindow(std::intptr_t window, bool enable) override;

  // Every box, browser and enabling so far, each in the order they came.
  std::vector<Shown> shown() const { return Copy(shown_); }
  std::size_t count() const { return shown().size(); }
  std::vector<Browsed> browsed() const { return Copy(browsed_); }
  std::vector<Enable> enables() const { return Copy(enables_); }

 private:
  template <typename T>
  T Copy(const T& record) const {
    std::lock_guard<std::mutex> hold(mutex_);
    return record;
  }

  mutable std::mutex mutex_;
  std::deque<int> answers_;
  std::vector<Shown> shown_;
  std::deque<std::string> folders_;
  std::vector<Browsed> browsed_;
  std::vector<Enable> enables_;
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
