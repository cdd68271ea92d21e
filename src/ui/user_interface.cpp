#include "ui/user_interface.h"

#include "ui/no_window_ui.h"
#include "ui/string_table.h"

#ifdef _WIN32
#include "ui/win32_ui.h"
#endif

namespace miradel::ui {

std::atomic<int> g_bRenameRetrySave{0};

namespace {
std::atomic<UserInterface*> g_current{nullptr};
}  // namespace

FolderChoice UserInterface::BrowseForFolder(std::intptr_t, const std::string&, unsigned, std::string*) {
  return FolderChoice::kCancelled;
}

bool UserInterface::FileDialog(const FileDialogRequest&, std::string*) { return false; }

bool UserInterface::FilePropertiesDialog(std::intptr_t, const FileProperties& properties) {
  return properties.always_show;
}

bool UserInterface::ArchiveDialog(std::intptr_t, bool[5]) { return false; }

void UserInterface::EnableWindow(std::intptr_t, bool) {}

UserInterface& PlatformDefault() {
#ifdef _WIN32
  return WindowsUi();
#else
  // Never destroyed: a box may be asked for while the process ends.
  static auto* ui = new NoWindowUi();
  return *ui;
#endif
}

UserInterface& Current() {
  UserInterface* ui = g_current.load();
  return ui ? *ui : PlatformDefault();
}

UserInterface* SetCurrent(UserInterface* ui) { return g_current.exchange(ui); }

int PlainMessageBox(std::intptr_t owner, const std::string& text, unsigned style) {
  MessageBoxRequest request;
  request.owner = owner;
  request.text = text;
  request.caption = kAppTitle;
  request.style = style;
  return Current().MessageBox(request);
}

int RetrySaveMessageBox(std::intptr_t owner, const std::string& text, const std::string& caption, unsigned style) {
  // Read once, here: the box keeps what its caller set, whatever another thread does next.
  return RetrySaveMessageBox(owner, text, caption, style, g_bRenameRetrySave.load() != 0);
}

int RetrySaveMessageBox(std::intptr_t owner, const std::string& text, const std::string& caption, unsigned style,
                        bool retry_save_labels) {
  MessageBoxRequest request;
  request.owner = owner;
  request.text = text;
  request.caption = caption;
  request.style = style;
  request.centre_on_owner = owner != 0;  // nothing to centre on without one
  if (retry_save_labels) {
    request.yes_label = kRetryLabel;
    request.no_label = kSaveLabel;
  }
  return Current().MessageBox(request);
}

std::string BrowseForFolder(std::intptr_t owner, const std::string& title, unsigned flags) {
  std::string folder;
  switch (Current().BrowseForFolder(owner, title, flags, &folder)) {
    case FolderChoice::kChosen:
      if (!folder.empty()) return folder;
      break;  // a choice without a path, whatever the interface called it
    case FolderChoice::kNoPath:
      break;
    case FolderChoice::kCancelled:
    default:
      return std::string();
  }
  PlainMessageBox(owner, LoadString(kStrFolderSelectionFailed), kIconStop);
  return std::string();
}

}  // namespace miradel::ui
