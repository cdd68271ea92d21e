// The host's own answers: a UserInterface over the C callback table of miradel.h.
#pragma once

#include "miradel.h"
#include "ui/user_interface.h"

namespace miradel::ui {

class CallbackUi : public UserInterface {
 public:
  // table holds a complete MiradelUiCallbacks (the caller has checked and padded it).
  explicit CallbackUi(const MiradelUiCallbacks& table) : m_table(table) {}
  // Through the table's message_box, or the platform default when it has none. An answer outside
  // the style's buttons becomes DefaultAnswer.
  int MessageBox(const MessageBoxRequest& request) override;
  // Through browse_for_folder with a buffer of MIRADEL_FOLDER_BUFFER (260) bytes: an answer other
  // than 1 is kCancelled; 1 with an empty folder or one without a terminator in the buffer is
  // kNoPath. Without the slot, the platform default's browser.
  FolderChoice BrowseForFolder(std::intptr_t owner, const std::string& title, unsigned flags,
                               std::string* folder) override;
  // Each of these three without its slot: the platform default's.
  // Through open_file or save_file with a buffer of MAX_PATH (260) bytes: 1 with a
  // terminated, non-empty path is chosen; anything else is cancelled.
  bool FileDialog(const FileDialogRequest& request, std::string* path) override;
  // Through file_properties_dialog (texts never NULL, "" for none): its answer, non-zero ticked.
  bool FilePropertiesDialog(std::intptr_t owner, const FileProperties& properties) override;
  // Through archive_dialog: 1 is OK with the types it left; any other answer is Cancel.
  bool ArchiveDialog(std::intptr_t owner, bool types[5]) override;
  // Through enable_window, or the platform default's when the table has none.
  void EnableWindow(std::intptr_t window, bool enable) override;
  const MiradelUiCallbacks& table() const { return m_table; }

 private:
  const MiradelUiCallbacks m_table;
};

// Installs a copy of the host's table as Current(); nullptr restores the platform default. 1 when
// accepted, 0 when its size cannot hold message_box (Current() then stays as it was). Bytes past
// the host's size count as zero. Installed tables live until the process ends, as a box may still
// be using one on another thread when the next is installed; installing the same table again
// reuses its copy.
int InstallCallbacks(const MiradelUiCallbacks* table);

}  // namespace miradel::ui
