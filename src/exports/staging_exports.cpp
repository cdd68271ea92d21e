// Setting the model directory and the synchronous copies between it and the working copy.
#include "base/text.h"
#include "control/globals.h"
#include "exports/frame.h"
#include "miradel.h"

using namespace miradel;
using namespace miradel::exports;

namespace {
CNetworkFileControl& C() { return TheControl(); }
}  // namespace

extern "C" {

MIRADEL_API int MIRADEL_CALL NW_SetModelDir(const char* dir, const int* dir_length, const char* name,
                                            const int* name_length) {
  return Guard(0, [&] { return C().SetModelDirectory(PathText(dir, dir_length), Text(name, name_length)); });
}

MIRADEL_API void MIRADEL_CALL NW_SetOnlyModelDir(const char* dir) {
  GuardVoid([&] { C().StoreDirOnly(Path::FromText(text::TrimTrailingBlanks(CText(dir)))); });
}

MIRADEL_API void MIRADEL_CALL NW_SwapModelDir(void) {
  GuardVoid([&] { C().SwapModelDirs(); });
}

MIRADEL_API int MIRADEL_CALL NW_CopyAllToTemp(const int* mode) {
  return Guard(0, [&] { return C().CopyModelToTemp(Value(mode)); });
}

MIRADEL_API int MIRADEL_CALL NW_CopyAllFromTemp(void) {
  return Guard(0, [&] { return C().CopyAllFromTemp(); });
}

MIRADEL_API int MIRADEL_CALL NW_SynchCopyToTemp(const char* name, const int* name_length, const char* extension) {
  return Guard(0, [&] { return C().CopyNamedFileToTemp(PathText(name, name_length), CText(extension)); });
}

MIRADEL_API int MIRADEL_CALL NW_SynchCpyToTemp(const char* extension) {
  return Guard(0, [&] { return C().CopyExtensionToTemp(CText(extension)); });
}

MIRADEL_API int MIRADEL_CALL NW_SynchCpyToModel(const char* name, const int* name_length, const char* extension,
                                                const int* show_messages) {
  return Guard(0, [&] {
    return C().CopyFileToModel(PathText(name, name_length), CText(extension), Value(show_messages));
  });
}

MIRADEL_API void MIRADEL_CALL NW_ClrQVTempDir(void) {
  GuardVoid([&] { C().ClearPreviousTempDir(); });
}

}  // extern "C"
