#include "support/scripted_ui.h"

#include "ui/no_window_ui.h"

namespace miradel::test {

void ScriptedUi::QueueAnswers(const std::vector<int>& answers) {
  std::lock_guard<std::mutex> hold(mutex_);
  answers_.insert(answers_.end(), answers.begin(), answers.end());
}

int ScriptedUi::MessageBox(const ui::MessageBoxRequest& request) {
  std::lock_guard<std::mutex> hold(mutex_);
  int answer = ui::DefaultAnswer(request);
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  shown_.push_back({request.owner, request.text, request.caption, request.style, answer});
  return answer;
}

void ScriptedUi::QueueFolders(const std::vector<std::string>& folders) {
  std::lock_guard<std::mutex> hold(mutex_);
  folders_.insert(folders_.end(), folders.begin(), folders.end());
}

ui::FolderChoice ScriptedUi::BrowseForFolder(std::intptr_t owner, const std::string& title, unsigned flags,
                                             std::string* folder) {
  std::lock_guard<std::mutex> hold(mutex_);
  browsed_.emplace_back(owner, title, flags);
  if (folders_.empty()) return ui::FolderChoice::kCancelled;
  *folder = folders_.front();
  folders_.pop_front();
  return folder->empty() ? ui::FolderChoice::kCancelled : ui::FolderChoice::kChosen;
}

void ScriptedUi::EnableWindow(std::intptr_t window, bool enable) {
  std::lock_guard<std::mutex> hold(mutex_);
  enables_.emplace_back(window, enable);
}

#ifdef _WIN32
// On Windows the platform default shows real boxes, which nobody would press during a test run:
// a test that reaches one by mistake would hang. Unless a test installs its own, the run answers
// without a window, as on POSIX. The tests of the real boxes use the Win32 UI directly.
[[maybe_unused]] static const bool g_noRealBoxes = (ui::SetCurrent(new ui::NoWindowUi), true);
#endif

}  // namespace miradel::test
