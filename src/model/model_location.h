// Where the open model lives: its directory on the share, its name, its private working copy (the
// QV temporary directory), and the same of the previous model, kept while another one is tried.
//
// The copy thread reads the model directory, and moves the open or the previous model when its share
// was lost (MoveModel): m_modelDir has a lock of its own and the flags are atomic, and the names and
// the saved directory are written under m_csNames, which MoveModel reads them under. Everything
// else belongs to the host's thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

#include "base/path.h"
#include "disk/my_cstring.h"

namespace miradel {

class ModelLocation {
 public:
  // Longest text the host's fixed buffers take, terminator included.
  static constexpr std::size_t kPathBuffer = 256;

  ModelLocation() = default;
  ModelLocation(const ModelLocation&) = delete;
  ModelLocation& operator=(const ModelLocation&) = delete;

  // The directory as the host gave it (blanks kept; a separator added and remembered when missing)
  // and the name.
  void StoreDirAndName(const Path& dir, const std::string& name);
  void StoreDirOnly(const Path& dir);
  // The model directory (ending in a separator), or an empty path when none is set. Any thread.
  Path ModelDir() const { return Path::FromText(m_modelDir.Get()); }
  void SetModelName(const std::string& name);
  // The saved previous model directory, which a move of that model changes on another thread.
  std::string SavedModelDir() const;
  // The model that lived in oldDir under name (the open one, the saved previous one, or both when
  // they are one) now lives in dir (ending in a separator); givenWithoutSlash is how the host will
  // be shown it. Any thread.
  void MoveModel(const std::string& oldDir, const std::string& name, const std::string& dir, bool givenWithoutSlash);
  void SaveModelState();
  void RestoreModelState();
  // Exchanges the model directory and the QV temporary directory with the saved ones.
  void SwapModelDirs();

  // Model directory + name into a zero-filled buffer of kPathBuffer bytes, without adding a
  // terminator; 0 (buffer untouched) when no model directory is set.
  int GetModelFilePath(char* buffer) const;
  // The model directory and a terminator, in the host's form (without trailing separators when the
  // host gave it without one); at most kPathBuffer bytes.
  void GetModelDirText(char* buffer) const;
  // The QV temporary directory and a terminator; at most kPathBuffer bytes.
  void GetQVTempDirText(char* buffer) const;
  // 1 when dir (a separator added if missing) + name is the open model, ignoring letter case.
  int CompareModel(const Path& dir, const std::string& name) const;

  // The QV temporary directory (ending in a separator), empty when the model has none; and the
  // previous model's.
  const Path& WorkingCopy() const { return m_strQVTempDir; }
  void SetWorkingCopy(const Path& dir) { m_strQVTempDir = dir; }
  const Path& SavedWorkingCopy() const { return m_strSavedQVTempDir; }
  void SetSavedWorkingCopy(const Path& dir) { m_strSavedQVTempDir = dir; }

  std::string m_strModelName;
  // Written by the copy thread when it moves the model.
  std::atomic<unsigned char> m_bDirGivenWithoutSlash{0};
  std::string m_strSavedModelDir;
  std::string m_strSavedModelName;
  std::atomic<unsigned char> m_bSavedDirGivenWithoutSlash{0};

 private:
  void StoreDir(const Path& dir);
  MyCString m_modelDir;
  Path m_strQVTempDir;
  Path m_strSavedQVTempDir;
  mutable std::mutex m_csNames;
};

}  // namespace miradel
