#include "ui/callback_ui.h"

#include <cstddef>
#include <cstring>
#include <list>
#include <mutex>

#include "ui/no_window_ui.h"

namespace miradel::ui {

namespace {
// MAX_PATH: what the system's own file dialogs are given.
constexpr std::size_t kFileDialogBuffer = 260;
}  // namespace

int CallbackUi::MessageBox(const MessageBoxRequest& request) {
  if (!m_table.message_box) return PlatformDefault().MessageBox(request);
  const char* yes = request.yes_label.empty() ? nullptr : request.yes_label.c_str();
  const char* no = request.no_label.empty() ? nullptr : request.no_label.c_str();
  const unsigned flags = request.centre_on_owner ? MIRADEL_UI_CENTRE_ON_OWNER : 0u;
  const int answer = m_table.message_box(m_table.context, request.owner, request.text.c_str(),
                                        request.caption.c_str(), request.style, yes, no, flags);
  return IsAnswerOf(request.style, answer) ? answer : DefaultAnswer(request);
}

FolderChoice CallbackUi::BrowseForFolder(std::intptr_t owner, const std::string& title, unsigned flags,
                                         std::string* folder) {
  if (!m_table.browse_for_folder) return PlatformDefault().BrowseForFolder(owner, title, flags, folder);
  char buffer[MIRADEL_FOLDER_BUFFER] = {};
  if (m_table.browse_for_folder(m_table.context, owner, title.c_str(), flags, buffer, sizeof buffer) != 1) {
    return FolderChoice::kCancelled;
  }
  const std::size_t length = strnlen(buffer, sizeof buffer);
  if (length == 0 || length == sizeof buffer) return FolderChoice::kNoPath;
  if (folder) folder->assign(buffer, length);
  return FolderChoice::kChosen;
}

bool CallbackUi::FileDialog(const FileDialogRequest& request, std::string* path) {
  MiradelFileDialogCallback slot = request.save ? m_table.save_file : m_table.open_file;
  if (!slot) return PlatformDefault().FileDialog(request, path);
  char buffer[kFileDialogBuffer] = {};
  if (slot(m_table.context, request.owner, request.filter.c_str(), request.default_extension.c_str(),
           request.initial_name.c_str(), request.initial_directory.c_str(), request.options, buffer,
           sizeof buffer) != 1) {
    return false;
  }
  const std::size_t length = strnlen(buffer, sizeof buffer);
  if (length == 0 || length == sizeof buffer) return false;
  if (path) path->assign(buffer, length);
  return true;
}

bool CallbackUi::FilePropertiesDialog(std::intptr_t owner, const FileProperties& properties) {
  if (!m_table.file_properties_dialog) return PlatformDefault().FilePropertiesDialog(owner, properties);
  const MiradelFileProperties shown = {
      properties.model_file.c_str(), properties.last_saved_by.c_str(), properties.revision.c_str(),
      properties.created.c_str(),    properties.modified.c_str(),      properties.accessed.c_str(),
      properties.location.c_str(),   properties.size.c_str(),          properties.always_show ? 1 : 0};
  return m_table.file_properties_dialog(m_table.context, owner, &shown) != 0;
}

bool CallbackUi::ArchiveDialog(std::intptr_t owner, bool types[5]) {
  if (!m_table.archive_dialog) return PlatformDefault().ArchiveDialog(owner, types);
  int given[5];
  for (int i = 0; i < 5; ++i) given[i] = types[i] ? 1 : 0;
  if (m_table.archive_dialog(m_table.context, owner, given) != 1) return false;
  for (int i = 0; i < 5; ++i) types[i] = given[i] != 0;
  return true;
}

void CallbackUi::EnableWindow(std::intptr_t window, bool enable) {
  if (!m_table.enable_window) return PlatformDefault().EnableWindow(window, enable);
  m_table.enable_window(m_table.context, window, enable ? 1 : 0);
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
