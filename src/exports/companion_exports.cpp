// The files a model names beside its own: force spectra, the host's file list with its fatigue
// curve and TIH files, and the TTA inputs with their companions.
#include "control/globals.h"
#include "exports/frame.h"
#include "miradel.h"

using namespace miradel;
using namespace miradel::exports;

extern "C" {

MIRADEL_API int MIRADEL_CALL NW_CpyspcFilesFS(const int* flags, const int* count, const int* show_message) {
  return Guard(0, [&] { return TheControl().CopySpectrumFiles(flags, Value(count), Value(show_message)); });
}

MIRADEL_API int MIRADEL_CALL NW_CopyFSToNewDir(const char* dir, const int* dir_length, const char* name,
                                               const int* name_length, const int* count) {
  return Guard(0, [&] {
    return TheControl().CopyFSFilesToDirectory(PathText(dir, dir_length), Text(name, name_length), Value(count));
  });
}

MIRADEL_API void MIRADEL_CALL NW_FilesListInit(void) {
  GuardVoid([&] { TheControl().ClearFileList(); });
}

MIRADEL_API void MIRADEL_CALL NW_FilesListAppend(const char* name, const int* length, const char* extension) {
  GuardVoid([&] { TheControl().AppendToFileList(PathText(name, length), CText(extension)); });
}

MIRADEL_API int MIRADEL_CALL NW_StrExistinList(const char* name, const int* length) {
  return Guard(0, [&] { return TheControl().FileListContains(PathText(name, length)); });
}

MIRADEL_API int MIRADEL_CALL NW_FileListCopy(const int* direction, const int* remove_duplicates) {
  return Guard(0, [&] { return TheControl().CopyFileList(Value(direction), Value(remove_duplicates)); });
}

MIRADEL_API int MIRADEL_CALL NW_fatFilesOper(const int* mode, const int* ask) {
  return Guard(0, [&] { return TheControl().FatigueFilesOperation(Value(mode), Value(ask)); });
}

MIRADEL_API int MIRADEL_CALL NW_CpyTihFilesThl(void) {
  return Guard(0, [&] { return TheControl().CopyTihFiles(); });
}

MIRADEL_API int MIRADEL_CALL NW_CopyTTAFiles(const int* copy) {
  return Guard(0, [&] { return TheControl().CopyTTAFiles(Value(copy)); });
}

}  // extern "C"
