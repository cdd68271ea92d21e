// The background copy thread: parking and releasing it, the requests it serves, the synchronous
// write-back and Save As.
#include "control/globals.h"
#include "exports/frame.h"
#include "miradel.h"

using namespace miradel;
using namespace miradel::exports;

extern "C" {

MIRADEL_API void MIRADEL_CALL NW_SpndWaitThrd(const int* mode) {
  GuardVoid([&] {
    // Without a mode there is no telling whether the host meant to park the thread or to release
    // it; guessing "park" could hold up its write-backs for good.
    if (mode) TheControl().ParkCopyThread(*mode == 0);
  });
}

}  // extern "C"

// Write-back requests, the synchronous write-back and Save As.
extern "C" {

MIRADEL_API int MIRADEL_CALL NW_EnqueueAndCopyFile(const char* path, int length) {
  return Guard(0, [&] { return TheControl().EnqueueAndCopyFile(PathText(path, &length)); });
}

MIRADEL_API void MIRADEL_CALL NW_ASynchCopy(const int* mode, const char* name, const int* name_length,
                                            const char* extension) {
  GuardVoid([&] { TheControl().ASynchCopy(Value(mode), PathText(name, name_length), CText(extension)); });
}

MIRADEL_API void MIRADEL_CALL NW_ASynchCopyExt(const int* mode, const char* extension) {
  GuardVoid([&] { TheControl().ASynchCopyExt(Value(mode), CText(extension)); });
}

MIRADEL_API void MIRADEL_CALL NW_AsynchCpyMdlFl(const char* extension, const int* length) {
  GuardVoid([&] { TheControl().AsynchCpyMdlFl(Text(extension, length)); });
}

MIRADEL_API void MIRADEL_CALL NW_ASynchDelete(const char* name, const int* length) {
  GuardVoid([&] { TheControl().ASynchDelete(PathText(name, length)); });
}

MIRADEL_API int MIRADEL_CALL NW_CopyModelFrmTmp(void) {
  return Guard(0, [&] { return TheControl().CopyModelFrmTmp(); });
}

MIRADEL_API int MIRADEL_CALL NW_SaveAs(const int* mode, MiradelLockOwner* owner, char* dir_text, int* dir_length,
                                       const char* name_text, const int* name_length) {
  return Guard(0, [&] {
    return TheControl().SaveAs(Value(mode), reinterpret_cast<LockOwnerInfo*>(owner), dir_text, dir_length,
                               PathText(dir_text, dir_length).str(), Text(name_text, name_length));
  });
}

}  // extern "C"
