// Plain Win32 primitives for the user-interface port: a message box, the folder browser, enabling
// a window, string resources and the system's message formatter. Only primitives.cpp sees
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
