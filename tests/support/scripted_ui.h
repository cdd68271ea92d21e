// A user interface for tests: answers, folders, paths and dialog outcomes from queues, and a record
// of every box, file dialog and dialog shown and every enabling of a window.
#pragma once

#include <cstddef>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/no_window_ui.h"
#include "ui/user_interface.h"

namespace miradel::test {

class ScriptedUi : public ui::UserInterface {
 public:
  struct Shown { std::intptr_t owner = 0; std::string text, caption; unsigned style = 0; };

  // Answers taken in order, one per box; when none is left, ui::DefaultAnswer of the box.
  void QueueAnswers(const std::vector<int>& answers) { Queue(answers_, answers); }

  using Enable = std::pair<std::intptr_t, bool>;  // window, enable

  // Folders taken in order, one per browser; an empty one, or none left, is cancelled.
  void QueueFolders(const std::vector<std::string>& folders) { Queue(folders_, folders); }

  // File dialogs: paths taken in order; an empty one, or none left, is cancelled.
  void QueuePaths(const std::vector<std::string>& paths) { Queue(paths_, paths); }
  // Properties dialogs: 1 or 0 is "Close" with the box so; -1, or none left, closes without it.
  void QueueAlwaysShow(const std::vector<int>& answers) { Queue(always_show_, answers); }
  // Archive dialogs: OK with these ticks; nullopt, or none left, is Cancel.
  using Types = std::array<bool, 5>;
  void QueueArchive(const std::vector<std::optional<Types>>& answers) { Queue(archive_answers_, answers); }

  // Runs first for each box, on the thread that shows it.
  std::function<void(const ui::MessageBoxRequest&)> hook;
  int MessageBox(const ui::MessageBoxRequest& request) override {
    if (hook) hook(request);
    std::lock_guard<std::mutex> hold(mutex_);
    shown_.push_back({request.owner, request.text, request.caption, request.style});
    return Take(answers_, ui::DefaultAnswer(request));
  }
  ui::FolderChoice BrowseForFolder(std::intptr_t, const std::string&, unsigned, std::string* folder) override {
    std::lock_guard<std::mutex> hold(mutex_);
    const std::string chosen = Take(folders_, std::string());
    if (!chosen.empty()) *folder = chosen;
    return chosen.empty() ? ui::FolderChoice::kCancelled : ui::FolderChoice::kChosen;
  }
  void EnableWindow(std::intptr_t window, bool enable) override {
    std::lock_guard<std::mutex> hold(mutex_);
    enables_.emplace_back(window, enable);
  }
  bool FileDialog(const ui::FileDialogRequest& request, std::string* path) override {
    std::lock_guard<std::mutex> hold(mutex_);
    file_dialogs_.push_back(request);
    const std::string chosen = Take(paths_, std::string());
    if (!chosen.empty()) *path = chosen;
    return !chosen.empty();
  }
  bool FilePropertiesDialog(std::intptr_t owner, const ui::FileProperties& properties) override {
    std::lock_guard<std::mutex> hold(mutex_);
    properties_.emplace_back(owner, properties);
    const int answer = Take(always_show_, -1);
    return answer < 0 ? properties.always_show : answer != 0;
  }
  bool ArchiveDialog(std::intptr_t owner, bool types[5]) override {
    std::lock_guard<std::mutex> hold(mutex_);
    archives_.emplace_back(owner, Types{types[0], types[1], types[2], types[3], types[4]});
    const std::optional<Types> answer = Take(archive_answers_, std::optional<Types>());
    for (int i = 0; answer && i < 5; ++i) types[i] = (*answer)[i];
    return answer.has_value();
  }

  // Every box, dialog and enabling so far, each in the order they came (the dialogs with
  // their owner and what they were given).
  std::vector<ui::FileDialogRequest> file_dialogs() const { return Copy(file_dialogs_); }
  std::vector<std::pair<std::intptr_t, ui::FileProperties>> properties() const { return Copy(properties_); }
  std::vector<std::pair<std::intptr_t, Types>> archives() const { return Copy(archives_); }
  std::vector<Shown> shown() const { return Copy(shown_); }
  std::size_t count() const { return shown().size(); }
  // How many boxes began with text.
  int Count(const std::string& text) const {
    int n = 0;
    for (const Shown& box : shown()) n += box.text.compare(0, text.size(), text) == 0;
    return n;
  }
  std::vector<Enable> enables() const { return Copy(enables_); }

 private:
  template <typename T>
  void Queue(std::deque<T>& queue, const std::vector<T>& items) {
    std::lock_guard<std::mutex> hold(mutex_);
    queue.insert(queue.end(), items.begin(), items.end());
  }
  // The next queued item, or fallback when none is left; mutex_ held.
  template <typename T>
  static T Take(std::deque<T>& queue, T fallback) {
    if (queue.empty()) return fallback;
    T item = queue.front();
    queue.pop_front();
    return item;
  }
  template <typename T>
  T Copy(const T& record) const {
    std::lock_guard<std::mutex> hold(mutex_);
    return record;
  }

  mutable std::mutex mutex_;
  std::deque<int> answers_, always_show_;
  std::vector<Shown> shown_;
  std::deque<std::string> folders_, paths_;
  std::vector<Enable> enables_;
  std::vector<ui::FileDialogRequest> file_dialogs_;
  std::vector<std::pair<std::intptr_t, ui::FileProperties>> properties_;
  std::deque<std::optional<Types>> archive_answers_;
  std::vector<std::pair<std::intptr_t, Types>> archives_;
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

#ifdef _WIN32
// On Windows the platform default shows real boxes, which nobody would press during a test run:
// a test that reaches one by mistake would hang. Unless a test installs its own, the run answers
// without a window, as on POSIX. The tests of the real boxes use the Win32 UI directly.
[[maybe_unused]] inline const bool g_noRealBoxes = (ui::SetCurrent(new ui::NoWindowUi), true);
#endif

}  // namespace miradel::test
