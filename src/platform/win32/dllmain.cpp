// The DLL's entry point: records the module for its resources. Nothing else may happen here (the
// loader lock is held), in particular no thread is started or joined.
#include <windows.h>

#include "platform/env.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    miradel::platform::SetLibraryModule(instance);
  }
  return TRUE;
}
