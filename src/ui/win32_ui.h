// The Win32 user interface: the system's message boxes (platform/win32/primitives.h), centred and
// relabelled as a request asks, the shell's folder browser, the common file dialogs, the properties
// and archive dialogs (templates of the resource script, views over their models) and EnableWindow.
// A box that cannot be shown answers DefaultAnswer; a dialog that cannot be made ends as cancelled.
#pragma once

#include "ui/user_interface.h"

namespace miradel::ui {

#ifdef _WIN32
UserInterface& WindowsUi();
#endif

}  // namespace miradel::ui
