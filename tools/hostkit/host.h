// The host's side of the calls, for the demo and the tests: every text goes as a pointer and a
// length, every number by reference, exactly as the host program passes them.
#pragma once

#include <string>
#include <vector>

#include "miradel.h"

namespace miradel::hostkit {

inline int Len(const std::string& s) { return static_cast<int>(s.size()); }

inline void SetVersion(int version) { NW_SetVersionNo(&version); }
inline void SetSilent(int silent) { NW_SetSilentMode(&silent); }

inline int GetLock(const std::string& dir, const std::string& name, MiradelLockOwner* owner) {
  int dl = Len(dir), nl = Len(name);
  return NW_GetLock(owner, dir.data(), &dl, name.data(), &nl);
}
inline int GetSecondLock(const std::string& dir, const std::string& name, int mode, MiradelLockOwner* owner) {
  int dl = Len(dir), nl = Len(name);
  return NW_GetSecondLock(owner, dir.data(), &dl, name.data(), &nl, &mode);
}
inline void GetOldModel(int keepLock) { NW_GetOldModel(&keepLock); }
inline int PermLock(int permanent) { return NW_PermLock(&permanent); }

inline int SetModelDir(const std::string& dir, const std::string& name) {
  int dl = Len(dir), nl = Len(name);
  return NW_SetModelDir(dir.data(), &dl, name.data(), &nl);
}
inline int CopyAllToTemp(int mode = 0) { return NW_CopyAllToTemp(&mode); }
inline int CopyToModel(const std::string& name, const char* extension, int showMessages) {
  int nl = Len(name);
  return NW_SynchCpyToModel(name.data(), &nl, extension, &showMessages);
}
inline int CopyToTemp(const std::string& name, const char* extension) {
  int nl = Len(name);
  return NW_SynchCopyToTemp(name.data(), &nl, extension);
}
inline int CmpModels(const std::string& dir, const std::string& name) {
  int dl = Len(dir), nl = Len(name);
  return NW_CmpModels(dir.data(), &dl, name.data(), &nl);
}

inline int EnqueueAndCopyFile(const std::string& path) { return NW_EnqueueAndCopyFile(path.data(), Len(path)); }
inline void ASynchCopy(const std::string& name, const char* extension, int mode = 2) {
  int nl = Len(name);
  NW_ASynchCopy(&mode, name.data(), &nl, extension);
}
inline void ASynchCopyExt(const char* extension, int mode = 2) { NW_ASynchCopyExt(&mode, extension); }
inline void AsynchCpyMdlFl(const std::string& extension) {
  int el = Len(extension);
  NW_AsynchCpyMdlFl(extension.data(), &el);
}
inline void ASynchDelete(const std::string& name) {
  int nl = Len(name);
  NW_ASynchDelete(name.data(), &nl);
}
// Save As; for the read-only mode *dir is the model's directory and receives the new one.
inline int SaveAs(int mode, std::string* dir, const std::string& name, MiradelLockOwner* owner) {
  char buffer[MIRADEL_PATH_BUFFER] = {};
  dir->copy(buffer, sizeof buffer - 1);
  int dl = Len(*dir), nl = Len(name);
  int result = NW_SaveAs(&mode, owner, buffer, &dl, name.data(), &nl);
  if (result == 1 && mode != 0 && dl >= 0 && dl < MIRADEL_PATH_BUFFER) dir->assign(buffer, static_cast<std::size_t>(dl));
  return result;
}

// Companion files.
inline int CpyspcFilesFS(std::vector<int> flags, int showMessage) {
  int count = static_cast<int>(flags.size());
  return NW_CpyspcFilesFS(flags.data(), &count, &showMessage);
}
inline int CopyFSToNewDir(const std::string& dir, const std::string& name, int count) {
  int dl = Len(dir), nl = Len(name);
  return NW_CopyFSToNewDir(dir.data(), &dl, name.data(), &nl, &count);
}
inline void FilesListAppend(const std::string& name, const char* extension = "") {
  int nl = Len(name);
  NW_FilesListAppend(name.data(), &nl, extension);
}
inline int StrExistinList(const std::string& name) {
  int nl = Len(name);
  return NW_StrExistinList(name.data(), &nl);
}
inline int FileListCopy(int direction, int removeDuplicates) { return NW_FileListCopy(&direction, &removeDuplicates); }
inline int FatFilesOper(int mode, int ask) { return NW_fatFilesOper(&mode, &ask); }
inline int CopyTTAFiles(int copy = 1) { return NW_CopyTTAFiles(&copy); }

inline std::string QVTempDir() {
  char buffer[MIRADEL_PATH_BUFFER] = {};
  NW_GetQVTempDir(buffer);
  return buffer;
}
inline std::string ModelDir() {
  char buffer[MIRADEL_PATH_BUFFER] = {};
  NW_GetModelDir(buffer);
  return buffer;
}

}  // namespace miradel::hostkit
