// The user-interface port: every question the library asks a person goes through here, so that
// the real Win32 boxes, a host's own callbacks, a test script or a terminal can answer it.
//
// Implementations:
//  - Win32 (ui/win32_ui.cpp over platform/win32/primitives.h): MessageBoxA; centring and the
//    Retry/Save labels come from a window hook of the calling thread only, with the per-call values
//    kept thread-locally. The shell's folder browser; the common file dialogs; the two dialog
//    templates of the resource script over their portable models; EnableWindow.
//  - CallbackUi (callback_ui.h): a C table the host installs with MiradelSetUiCallbacks.
//  - NoWindowUi (no_window_ui.h): POSIX without any of these; writes to standard error and takes a
//    documented default answer.
//  - tests/support/scripted_ui.h: queued answers and a record of every box.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// windows.h maps MessageBox to MessageBoxA; the port's member must keep its name in every
// translation unit, whatever was included before.
#ifdef _WIN32
#undef MessageBox
#endif

namespace miradel::ui {

// Button sets, icons and answers carry the values of the Win32 message box, so that a style given
// by one part of the library means the same thing to every implementation.
enum Style : unsigned {
  kOk = 0x0,
  kOkCancel = 0x1,
  kAbortRetryIgnore = 0x2,
  kYesNoCancel = 0x3,
  kYesNo = 0x4,
  kRetryCancel = 0x5,
  kCancelTryContinue = 0x6,
  kButtonMask = 0xF,
  kIconStop = 0x10,
  kIconQuestion = 0x20,
  kIconExclamation = 0x30,
  kIconInformation = 0x40,
  kIconMask = 0xF0,
};
enum Answer : int {
  kIdOk = 1,
  kIdCancel = 2,
  kIdAbort = 3,
  kIdRetry = 4,
  kIdIgnore = 5,
  kIdYes = 6,
  kIdNo = 7,
  kIdTryAgain = 10,
  kIdContinue = 11,
};

// The application's title: the caption of the plain boxes.
inline constexpr const char* kAppTitle = "Miradel";
// The labels of the recovery question's yes and no buttons.
inline constexpr const char* kRetryLabel = "&Retry";
inline constexpr const char* kSaveLabel = "&Save";

struct MessageBoxRequest {
  std::intptr_t owner = 0;  // the host's window handle, 0 for none
  std::string text;
  std::string caption;      // shown as given; an empty caption is the platform's default
  unsigned style = kOk;
  bool centre_on_owner = false;
  // When set, the yes and no buttons read these labels ("&Retry" and "&Save").
  std::string yes_label;
  std::string no_label;
};

struct FileDialogRequest {
  std::intptr_t owner = 0;  // 0: none
  bool save = false;        // the save dialog, else the open dialog
  std::string filter;       // "Quorvane Compressed Files (*.QVC)|*.QVC||" form
  std::string default_extension;  // without its dot
  std::string initial_name, initial_directory;
  unsigned options = 0;  // OFN_ bits (OFN_HIDEREADONLY 0x4, OFN_OVERWRITEPROMPT 0x2, ...)
};

// What the model file properties dialog shows, every text ready to show ("" for none).
struct FileProperties {
  std::string model_file, last_saved_by, revision, created, modified, accessed, location, size;
  bool always_show = false;
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // Shows a modal box and returns the pressed button (an Answer of the style's button set). May be
  // called from any thread, also from two at once; each call keeps its own request.
  virtual int MessageBox(const MessageBoxRequest& request) = 0;

  enum class FolderChoice { kChosen, kCancelled, kNoPath };
  // Shows the folder browser over the whole name space, owned by owner (0: none), with title and the
  // browse flags (BIF_ values, e.g. 0x40 new dialog style). kChosen with *folder as the platform gives it;
  // kCancelled when cancelled or no browser exists; kNoPath when the chosen item has no (or an empty)
  // file system path. Base: kCancelled.
  virtual FolderChoice BrowseForFolder(std::intptr_t owner, const std::string& title, unsigned flags,
                                       std::string* folder);
  // The open or save file dialog: true with *path as chosen, taken as given; false when cancelled.
  // Base: false.
  virtual bool FileDialog(const FileDialogRequest& request, std::string* path);
  // Shows the properties modally; returns the always-show setting the dialog ends with: the user's
  // when closed with "Close", else properties.always_show. Base: properties.always_show.
  virtual bool FilePropertiesDialog(std::intptr_t owner, const FileProperties& properties);
  // The archive dialog. types, in the order Input, Result, Reports, Unit, Libraries: on entry the
  // state the boxes start in, on return with true what was left ticked. True OK, false Cancel (types
  // then as they came). Base: false.
  virtual bool ArchiveDialog(std::intptr_t owner, bool types[5]);
  // Enables or disables the host's window. Base: nothing.
  virtual void EnableWindow(std::intptr_t window, bool enable);
};
using FolderChoice = UserInterface::FolderChoice;

// The interface in use: a host's callback table if installed, else the platform's own.
UserInterface& Current();
// The platform's own: the Win32 boxes on Windows; on POSIX a terminal-less default that writes
// each message to standard error and takes the answer that ends the question (see NoWindowUi).
UserInterface& PlatformDefault();
// Installs ui as Current() (nullptr restores the default); returns the previous one (nullptr when
// that was the default). The caller keeps ui alive until it is replaced.
UserInterface* SetCurrent(UserInterface* ui);

// While set (non-zero), RetrySaveMessageBox labels its yes and no buttons "&Retry" and "&Save".
// Process-wide: the host's thread and the copy thread both set it before their questions.
extern std::atomic<int> g_bRenameRetrySave;

// The plain box: OK button unless style says otherwise, the application's title as caption,
// owned by the host window, not moved.
int PlainMessageBox(std::intptr_t owner, const std::string& text, unsigned style = kOk);
// The recovery question box, centred on its owner; the labels follow g_bRenameRetrySave as it is
// when this call is made, whatever other threads set later. An empty caption is none.
int RetrySaveMessageBox(std::intptr_t owner, const std::string& text, const std::string& caption, unsigned style);
// The same with the labels chosen by the caller instead of the flag, for callers that must not
// depend on what another thread did to the flag meanwhile.
int RetrySaveMessageBox(std::intptr_t owner, const std::string& text, const std::string& caption, unsigned style,
                        bool retry_save_labels);

// The browser as the library uses it: the chosen folder, or empty when cancelled; a choice without a
// usable path shows "Unable to retrieve folder selection" (kStrFolderSelectionFailed) in a plain box
// with a stop icon and gives empty.
std::string BrowseForFolder(std::intptr_t owner, const std::string& title, unsigned flags);

}  // namespace miradel::ui
