// Whether standard output is a terminal: progress and waiting lines are for people only.
#pragma once

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace miradel::tools {

#ifdef _WIN32
inline bool OnTerminal() { return _isatty(1) != 0; }
#else
inline bool OnTerminal() { return isatty(1) != 0; }
#endif

}  // namespace miradel::tools
