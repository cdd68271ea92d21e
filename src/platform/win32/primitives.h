// Plain Win32 primitives for the user-interface port: a message box, the folder browser, the file
// dialogs, modal dialogs from templates, context help, enabling a window, string resources and the
// system's message formatter. Only primitives.cpp sees
// windows.h; ui/ builds on these.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace miradel::platform::win32 {

struct MessageBoxCall {
  std::intptr_t owner = 0;  // a window handle; one that is not a window counts as none
  const char* text = "";
  const char* caption = nullptr;  // null: the system's default
  unsigned style = 0;             // the MB_ flags
  bool centre_on_owner = false;
  const char* yes_label = nullptr;  // relabel the yes and no buttons when set
  const char* no_label = nullptr;
};

// MessageBoxA. Centring and relabelling install a CBT hook for the calling thread only, which acts
// on the box's first activation and then removes itself; each call's values are kept
// thread-locally, so boxes of two threads never see each other's. 0 when no box could be shown.
int ShowMessageBox(const MessageBoxCall& call);

enum class BrowseResult { kChosen, kCancelled, kNoPath };
// SHBrowseForFolderA over the whole name space, owned by owner (one that is not a window counts as
// none), with title above the tree and flags as its BIF_ flags; then the chosen item's path
// (SHGetPathFromIDListA). kNoPath when the item has no file system path or an empty one. The
// calling thread is made a COM apartment for the call (and left as it was afterwards).
BrowseResult BrowseForFolder(std::intptr_t owner, const char* title, unsigned flags, std::string* folder);

struct FileDialogCall {
  std::intptr_t owner = 0;  // one that is not a window counts as none
  bool save = false;        // GetSaveFileNameA, else GetOpenFileNameA
  std::string filter;       // "Text|*.EXT||": each "|" becomes the system's NUL separator
  std::string default_extension;
  std::string initial_name;  // cut to fit the 260-byte buffer the chosen path comes back in
  std::string initial_directory;
  unsigned options = 0;  // the OFN_ flags, as given
};
// The common file dialog: true with *path as chosen; false when cancelled or failed.
bool ShowFileDialog(const FileDialogCall& call, std::string* path);

// What a modal dialog does with its controls; dialog is its window handle.
class DialogView {
 public:
  virtual ~DialogView() = default;
  // The dialog is made and about to show: fill its controls.
  virtual void Start(std::intptr_t dialog) = 0;
  // A button clicked, or IDOK/IDCANCEL from Enter, Escape or the close box: true ends the dialog
  // with *result.
  virtual bool Command(std::intptr_t dialog, int id, int* result) = 0;
  // The help key (WM_HELP); the window's standard help handling runs afterwards.
  virtual void Help(std::intptr_t dialog) = 0;
};
// DialogBoxParamA of template_id from the module this code is linked into (the DLL, or a program
// that links the library statically), owned by owner (one that is not a window: none) and centred
// on it when there is one, else on the primary monitor's work area. The dialog's result, or -1
// when it could not be made.
int ShowDialog(unsigned template_id, std::intptr_t owner, DialogView* view);
void SetControlText(std::intptr_t dialog, int id, const std::string& text);
bool IsControlChecked(std::intptr_t dialog, int id);
void SetControlChecked(std::intptr_t dialog, int id, bool checked);

// Context help: hx_Help_DisplayContext of the library hx_help,
//   int hx_Help_DisplayContext(HWND window, const char* help_file, int command, int topic)
// with command 1 (a topic by its number). On 32-bit x86 its calling convention is unknown: the call
// works whether the function is stdcall or cdecl. Nothing happens when the library or the function
// is absent.
void ShowHelpTopic(std::intptr_t window, const std::string& help_file, int topic);

// EnableWindow; a handle that is not a window is left alone.
void SetWindowEnabled(std::intptr_t window, bool enable);

// The string id from the STRINGTABLE of module (an HMODULE, also one loaded as a data file) with
// LoadStringA; false when it has none (or only an empty one).
bool LoadModuleString(void* module, unsigned id, std::string* out);
// The same from the library's own module (platform::LibraryModule()); false before it is known.
bool LoadLibraryString(unsigned id, std::string* out);

// FormatMessageA (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY) with the inserts as
// string arguments; inserts numbered up to max_inserts that the caller did not give are empty.
// False when the system fails or the result is empty.
bool FormatWithSystem(const std::string& text, const std::vector<std::string>& inserts, std::size_t max_inserts,
                      std::string* out);

}  // namespace miradel::platform::win32
