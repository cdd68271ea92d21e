// The Win32 user interface: the system's message boxes (platform/win32/primitives.h), centred and
// relabelled as a request asks, the shell's folder browser and EnableWindow. A box that cannot be
// shown answers DefaultAnswer.
#pragma once

#include "ui/user_interface.h"

namespace miradel::ui {

#ifdef _WIN32
UserInterface& WindowsUi();
#endif

}  // namespace miradel::ui
