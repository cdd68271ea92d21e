// The DLL's entry point: records the module for its resources. Nothing else may happen here (the
// loader lock is held), in particular no thread is started or joined.
#include <windows.h>

#include "control/globals.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    miradel::TheApp().SetModuleHandle(instance);
  }
  return TRUE;
}
