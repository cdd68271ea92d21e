// The model's private working copy, the QV temporary directory, and the synchronous copies between
// it and the model directory on the share.
//
// Staging works on the model location and the disk object it is handed; it owns what only it
// needs: where working copies go (the user's temporary path and the version tag), the model file
// set with its TTA flags, the unit-library redirection, and the random source of directory names.
// Nothing touches the file system until a model is set up: the temporary path is made on first use.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "disk/disk_object.h"
#include "model/model_file_set.h"
#include "model/model_location.h"
#include "tta/collect_tta_files.h"

namespace miradel {

class Staging {
 public:
  Staging(ModelLocation& location, CDiskObject& disk);
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;

  // The user's temporary path, ending in a separator (made on first use; never longer than 259).
  const std::string& SysTempDir();
  // The host program's directory, lower-cased, ending in a separator.
  const std::string& ExeDir();
  // "QV_" + at most the first six characters of text.
  void SetVersionTag(const std::string& text);
  void SetUntLibData(int redirect1, int redirect2, const std::string& dir);

  // Stores directory and name and makes a new QV temporary directory that can be written. 0 when
  // the name is not one plain directory level, when a path of this model would not fit the host's
  // 256-byte buffers, or when no directory can be made; the QV temporary directory is then empty.
  int SetModelDirectory(const Path& dir, const std::string& name);
  // "_" and four random digits.
  std::string MakeTempDirSuffix();
  // The same seed gives the same names again (to tell which one a test's next opening draws).
  void SeedTempDirNames(std::uint32_t seed) { m_random.seed(seed); }
  // 1 copied, 0 failed, -1 cancelled by the user (mode other than 0 copies file by file and asks).
  // keepLockFile: the working copy holds the model's lock itself (a read-only model saved
  // elsewhere), which must stay; otherwise a lock file found there is removed.
  int CopyModelToTemp(int mode, std::intptr_t owner, bool keepLockFile = false);
  // The working copy's files (as the caller listed them) into the model directory, each replaced
  // whole; 0 for none.
  int CopyTempToModel(const std::vector<std::string>& files);
  // name (trailing blanks removed) + "." + extension, between the two directories. A name that
  // would lead out of the directory it is joined to is refused.
  int CopyFileToModel(const std::string& name, const std::string& extension, int showMessage, std::intptr_t owner);
  int CopyNamedFileToTemp(const std::string& name, const std::string& extension);
  int CopyExtensionToTemp(const std::string& extension);
  // Removes the QV temporary directory (usePrevious 0) or the previous model's (1): never anything
  // outside the user's temporary path, and never a previous one that is also the open model's.
  void ClearTempDir(int usePrevious);

  std::string m_strVersionTag;
  ModelFileSet m_fileSet;
  int m_bUntLibRedirect1 = 0;
  int m_bUntLibRedirect2 = 0;
  std::string m_strUntLibDir;

 private:
  ModelLocation& m_location;
  CDiskObject& m_diskObject;
  std::optional<std::string> m_strSysTempDir;
  std::optional<std::string> m_strExeDir;
  std::minstd_rand m_random;
};

// The one box that names the TTA files a case list names but the model directory lacks; nothing
// when none is missing. Shown in silent mode too: without these files the thermal analysis cannot run.
void ShowMissingTtaFiles(const TtaCollection& collection, std::intptr_t owner);

}  // namespace miradel
