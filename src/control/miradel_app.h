// The application object: the library's module, for what later comes from its resources.
#pragma once

#include <cstdint>

namespace miradel {

class CMiradelApp {
 public:
  CMiradelApp() = default;
  // The module handle of the loaded library (Windows), recorded when the library is loaded.
  void SetModuleHandle(void* module) { m_hModule = module; }
  void* ModuleHandle() const { return m_hModule; }

 private:
  void* m_hModule = nullptr;
};

}  // namespace miradel
