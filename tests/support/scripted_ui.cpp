#include "support/scripted_ui.h"

#include "ui/no_window_ui.h"

namespace miradel::test {

int ScriptedUi::MessageBox(const ui::MessageBoxRequest& request) {
  if (hook) hook(request);
  std::lock_guard<std::mutex> hold(mutex_);
  const int answer = Take(answers_, ui::DefaultAnswer(request));
  shown_.push_back({request.owner, request.text, request.caption, request.style});
  return answer;
}

int ScriptedUi::Count(const std::string& text) const {
  int n = 0;
  for (const Shown& box : shown()) n += box.text.compare(0, text.size(), text) == 0;
  return n;
}

ui::FolderChoice ScriptedUi::BrowseForFolder(std::intptr_t, const std::string&, unsigned, std::string* folder) {
  std::lock_guard<std::mutex> hold(mutex_);
  const std::string chosen = Take(folders_, std::string());
  if (chosen.empty()) return ui::FolderChoice::kCancelled;
  *folder = chosen;
  return ui::FolderChoice::kChosen;
}

void ScriptedUi::EnableWindow(std::intptr_t window, bool enable) {
  std::lock_guard<std::mutex> hold(mutex_);
  enables_.emplace_back(window, enable);
}

bool ScriptedUi::FileDialog(const ui::FileDialogRequest& request, std::string* path) {
  std::lock_guard<std::mutex> hold(mutex_);
  file_dialogs_.push_back(request);
  const std::string chosen = Take(paths_, std::string());
  if (!chosen.empty()) *path = chosen;
  return !chosen.empty();
}

bool ScriptedUi::FilePropertiesDialog(std::intptr_t owner, const ui::FileProperties& properties) {
  std::lock_guard<std::mutex> hold(mutex_);
  properties_.emplace_back(owner, properties);
  const int answer = Take(always_show_, -1);
  return answer < 0 ? properties.always_show : answer != 0;
}

bool ScriptedUi::ArchiveDialog(std::intptr_t owner, bool types[5]) {
  std::lock_guard<std::mutex> hold(mutex_);
  archives_.emplace_back(owner, Types{types[0], types[1], types[2], types[3], types[4]});
  const std::optional<Types> answer = Take(archive_answers_, std::optional<Types>());
  for (int i = 0; answer && i < 5; ++i) types[i] = (*answer)[i];
  return answer.has_value();
}

#ifdef _WIN32
// On Windows the platform default shows real boxes, which nobody would press during a test run:
// a test that reaches one by mistake would hang. Unless a test installs its own, the run answers
// without a window, as on POSIX. The tests of the real boxes use the Win32 UI directly.
[[maybe_unused]] static const bool g_noRealBoxes = (ui::SetCurrent(new ui::NoWindowUi), true);
#endif

}  // namespace miradel::test
