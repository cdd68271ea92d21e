// Settings and getters: window, silent mode, names, directories, version, model comparison.
#include "control/globals.h"
#include "exports/frame.h"
#include "miradel.h"

using namespace miradel;
using namespace miradel::exports;

extern "C" {

MIRADEL_API void MIRADEL_CALL NW_SetHwnd(const int* window) {
  GuardVoid([&] { TheControl().SetHwnd(Value(window)); });
}

MIRADEL_API void MIRADEL_CALL NW_SetSilentMode(const int* silent) {
  GuardVoid([&] { TheControl().SetSilentMode(Value(silent)); });
}

MIRADEL_API int MIRADEL_CALL NW_GetUserName(char* buffer, const int* size) {
  return Guard(0, [&] { return TheControl().GetUserName(buffer, Value(size)); });
}

MIRADEL_API void MIRADEL_CALL NW_GetModelDir(char* buffer) {
  GuardVoid([&] { TheControl().GetModelDirText(buffer); });
}

MIRADEL_API void MIRADEL_CALL NW_GetQVTempDir(char* buffer) {
  GuardVoid([&] { TheControl().GetQVTempDirText(buffer); });
}

MIRADEL_API int MIRADEL_CALL NW_SetWorkingdir(const char* directory) {
  return Guard(0, [&] { return directory ? TheControl().SetWorkingDirectory(Path::FromText(directory)) : 0; });
}

MIRADEL_API void MIRADEL_CALL NW_SetVersionNo(const int* version) {
  GuardVoid([&] {
    if (version) TheControl().SetVersionNumber(*version);
  });
}

MIRADEL_API int MIRADEL_CALL NW_CmpModels(const char* dir, const int* dir_length, const char* name,
                                          const int* name_length) {
  return Guard(0, [&] {
    return TheControl().CompareModel(PathText(dir, dir_length), Text(name, name_length));
  });
}

MIRADEL_API void MIRADEL_CALL NW_ResetUntLibData(void) {
  GuardVoid([&] { TheControl().ResetUntLibData(); });
}

}  // extern "C"
