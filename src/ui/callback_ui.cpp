#include "ui/callback_ui.h"

#include <cstddef>
#include <cstring>
#include <list>
#include <mutex>

#include "ui/no_window_ui.h"

namespace miradel::ui {

int CallbackUi::MessageBox(const MessageBoxRequest& request) {
  if (!table_.message_box) return PlatformDefault().MessageBox(request);
  const char* yes = request.yes_label.empty() ? nullptr : request.yes_label.c_str();
  const char* no = request.no_label.empty() ? nullptr : request.no_label.c_str();
  const unsigned flags = request.centre_on_owner ? MIRADEL_UI_CENTRE_ON_OWNER : 0u;
  const int answer = table_.message_box(table_.context, request.owner, request.text.c_str(),
                                        request.caption.c_str(), request.style, yes, no, flags);
  return IsAnswerOf(request.style, answer) ? answer : DefaultAnswer(request);
}

FolderChoice CallbackUi::BrowseForFolder(std::intptr_t owner, const std::string& title, unsigned flags,
                                         std::string* folder) {
  if (!table_.browse_for_folder) return PlatformDefault().BrowseForFolder(owner, title, flags, folder);
  char buffer[MIRADEL_FOLDER_BUFFER] = {};
  if (table_.browse_for_folder(table_.context, owner, title.c_str(), flags, buffer, sizeof buffer) != 1) {
    return FolderChoice::kCancelled;
  }
  const std::size_t length = strnlen(buffer, sizeof buffer);
  if (length == 0 || length == sizeof buffer) return FolderChoice::kNoPath;
  if (folder) folder->assign(buffer, length);
  return FolderChoice::kChosen;
}

void CallbackUi::EnableWindow(std::intptr_t window, bool enable) {
  if (!table_.enable_window) return PlatformDefault().EnableWindow(window, enable);
  table_.enable_window(table_.context, window, enable ? 1 : 0);
}

namespace {

constexpr std::size_t kMinimumSize = offsetof(MiradelUiCallbacks, message_box) + sizeof(MiradelMessageBoxCallback);

std::mutex g_installMutex;
// Every table ever installed; a std::list so that the objects never move.
// Never destroyed: a thread may still be inside a box while the process ends.
std::list<CallbackUi>& Installed() {
  static auto* installed = new std::list<CallbackUi>;
  return *installed;
}

bool SameTable(const MiradelUiCallbacks& a, const MiradelUiCallbacks& b) {
  return a.context == b.context && a.message_box == b.message_box && a.browse_for_folder == b.browse_for_folder &&
         a.open_file == b.open_file && a.save_file == b.save_file &&
         a.file_properties_dialog == b.file_properties_dialog && a.archive_dialog == b.archive_dialog &&
         a.enable_window == b.enable_window;
}

}  // namespace

int InstallCallbacks(const MiradelUiCallbacks* table) {
  if (!table) {
    SetCurrent(nullptr);
    return 1;
  }
  const std::size_t given = table->size;
  if (given < kMinimumSize) return 0;
  MiradelUiCallbacks copy;
  std::memset(&copy, 0, sizeof copy);
  std::memcpy(&copy, table, given < sizeof copy ? given : sizeof copy);
  copy.size = sizeof copy;

  std::lock_guard<std::mutex> hold(g_installMutex);
  for (CallbackUi& ui : Installed()) {
    if (SameTable(ui.table(), copy)) {
      SetCurrent(&ui);
      return 1;
    }
  }
  Installed().emplace_back(copy);
  SetCurrent(&Installed().back());
  return 1;
}

}  // namespace miradel::ui
