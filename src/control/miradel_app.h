// The application object: the library's module, from which its resources come.
#pragma once

#include "platform/env.h"

namespace miradel {

class CMiradelApp {
 public:
  CMiradelApp() = default;
  // The module handle of the loaded library (Windows), recorded by the platform when it is loaded.
  void* ModuleHandle() const { return platform::LibraryModule(); }
};

}  // namespace miradel
