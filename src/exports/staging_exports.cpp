// Setting the model directory and the synchronous copies between it and the working copy.
#include "control/globals.h"
#include "exports/frame.h"
#include "miradel.h"

using namespace miradel;
using namespace miradel::exports;

extern "C" {

MIRADEL_API int MIRADEL_CALL NW_SetModelDir(const char* dir, const int* dir_length, const char* name,
                                            const int* name_length) {
  return Guard(0, [&] { return TheControl().SetModelDirectory(PathText(dir, dir_length), Text(name, name_length)); });
}

MIRADEL_API void MIRADEL_CALL NW_SetOnlyModelDir(const char* dir) {
  GuardVoid([&] { TheControl().StoreModelDirOnly(TrimTrailingBlanks(CText(dir))); });
}

MIRADEL_API void MIRADEL_CALL NW_SwapModelDir(void) {
  GuardVoid([&] { TheControl().SwapModelDirs(); });
}

MIRADEL_API int MIRADEL_CALL NW_CopyAllToTemp(const int* mode) {
  return Guard(0, [&] { return TheControl().CopyModelToTemp(Value(mode)); });
}

MIRADEL_API int MIRADEL_CALL NW_CopyAllFromTemp(void) {
  return Guard(0, [&] { return TheControl().CopyTempToModel(); });
}

MIRADEL_API int MIRADEL_CALL NW_SynchCopyToTemp(const char* name, const int* name_length, const char* extension) {
  return Guard(0, [&] { return TheControl().CopyNamedFileToTemp(PathText(name, name_length), CText(extension)); });
}

MIRADEL_API int MIRADEL_CALL NW_SynchCpyToTemp(const char* extension) {
  return Guard(0, [&] { return TheControl().CopyExtensionToTemp(CText(extension)); });
}

MIRADEL_API int MIRADEL_CALL NW_SynchCpyToModel(const char* name, const int* name_length, const char* extension,
                                                const int* show_messages) {
  return Guard(0, [&] {
    return TheControl().CopyFileToModel(PathText(name, name_length), CText(extension), Value(show_messages));
  });
}

MIRADEL_API void MIRADEL_CALL NW_ClrQVTempDir(void) {
  GuardVoid([&] {
    TheControl().WaitForQueueEmpty();
    TheControl().ClearTempDir(1);
  });
}

}  // extern "C"
