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

void ScriptedUi::QueuePaths(const std::vector<std::string>& paths) {
  std::lock_guard<std::mutex> hold(mutex_);
  paths_.insert(paths_.end(), paths.begin(), paths.end());
}

void ScriptedUi::QueueAlwaysShow(const std::vector<int>& answers) {
  std::lock_guard<std::mutex> hold(mutex_);
  always_show_.insert(always_show_.end(), answers.begin(), answers.end());
}

void ScriptedUi::QueueArchive(const std::vector<std::optional<Types>>& answers) {
  std::lock_guard<std::mutex> hold(mutex_);
  archive_answers_.insert(archive_answers_.end(), answers.begin(), answers.end());
}

bool ScriptedUi::FileDialog(const ui::FileDialogRequest& request, std::string* path) {
  std::lock_guard<std::mutex> hold(mutex_);
  file_dialogs_.push_back(request);
  if (paths_.empty()) return false;
  std::string chosen = paths_.front();
  paths_.pop_front();
  if (chosen.empty()) return false;
  *path = chosen;
  return true;
}

bool ScriptedUi::FilePropertiesDialog(std::intptr_t owner, const ui::FileProperties& properties) {
  std::lock_guard<std::mutex> hold(mutex_);
  properties_.emplace_back(owner, properties);
  int answer = -1;
  if (!always_show_.empty()) {
    answer = always_show_.front();
    always_show_.pop_front();
  }
  return answer < 0 ? properties.always_show : answer != 0;
}

bool ScriptedUi::ArchiveDialog(std::intptr_t owner, bool types[5]) {
  std::lock_guard<std::mutex> hold(mutex_);
  archives_.emplace_back(owner, Types{types[0], types[1], types[2], types[3], types[4]});
  std::optional<Types> answer;
  if (!archive_answers_.empty()) {
    answer = archive_answers_.front();
    archive_answers_.pop_front();
  }
  if (!answer) return false;
  for (int i = 0; i < 5; ++i) types[i] = (*answer)[i];
  return true;
}

#ifdef _WIN32
// On Windows the platform default shows real boxes, which nobody would press during a test run:
// a test that reaches one by mistake would hang. Unless a test installs its own, the run answers
// without a window, as on POSIX. The tests of the real boxes use the Win32 UI directly.
[[maybe_unused]] static const bool g_noRealBoxes = (ui::SetCurrent(new ui::NoWindowUi), true);
#endif

}  // namespace miradel::test
