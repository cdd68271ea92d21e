// The Win32 user interface: the system's message boxes, string resources and message formatter.
// Only ui_win32.cpp sees windows.h; callers reach these through the ui/ layer.
#pragma once

#include <string>
#include <vector>

namespace miradel::ui {
class UserInterface;
}

namespace miradel::platform::win32 {

// MessageBoxA. A request to centre or to relabel the yes and no buttons installs a CBT hook for
// the calling thread only, which acts on the box's first activation and then removes itself; the
// request's values are kept thread-locally, so boxes of two threads never see each other's. An
// owner that is not a window is treated as none (the box still shows, not centred). A box that
// cannot be shown answers ui::DefaultAnswer.
ui::UserInterface& WindowsUi();

// The string id from the STRINGTABLE of module (an HMODULE, also one loaded as a data file) with
// LoadStringA; false when it has none (or only an empty one).
bool LoadModuleString(void* module, unsigned id, std::string* out);
// The same from the library's own module, once DllMain has recorded it; false before.
bool LoadLibraryString(unsigned id, std::string* out);

// FormatMessageA (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY) with the inserts as
// string arguments; inserts the caller did not give are empty. Only for texts that
// ui::SystemCanFormat accepts. False when the system fails or the result is empty.
bool FormatWithSystem(const std::string& text, const std::vector<std::string>& inserts, std::string* out);

}  // namespace miradel::platform::win32
