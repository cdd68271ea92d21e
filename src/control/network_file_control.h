// The one object that holds all state of the open model. Every export works on the global
// instance; the copy thread works beside the host's thread on the same object.
//
// Guards: m_csLock around the operations that take, test or rewrite m_primaryLock; m_csQueue
// around the request queue; m_modelDir has its own lock. When both are held, m_csLock comes first.
// Both are recursive, as the recovery code re-enters them on the thread that holds them.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "copy/file_path_queue.h"
#include "disk/disk_object.h"
#include "disk/my_cstring.h"
#include "lock/lock_slot.h"

namespace miradel {

class CCopyThread;

class CNetworkFileControl {
 public:
  CNetworkFileControl();
  virtual ~CNetworkFileControl();
  CNetworkFileControl(const CNetworkFileControl&) = delete;
  CNetworkFileControl& operator=(const CNetworkFileControl&) = delete;

  // Saved state of the previous model, put back when a new model cannot be used.
  void SaveModelState();
  void RestoreModelState();
  // Plain copies of the whole record; nothing is opened or closed.
  void SavePrimaryLock() { m_secondLock = m_primaryLock; }
  void RestorePrimaryLock() { m_primaryLock = m_secondLock; }

  // Model directory + name into a zero-filled buffer of kPathBuffer bytes, without adding a
  // terminator; 0 (buffer untouched) when no model directory is set.
  int GetModelFilePath(char* buffer) const;
  // The model directory and a terminator, in the host's form (without trailing separators when
  // the host gave it without one); at most kPathBuffer bytes.
  void GetModelDirText(char* buffer) const;
  // The QV temporary directory and a terminator; at most kPathBuffer bytes.
  void GetQVTempDirText(char* buffer) const;
  void SetUntLibData(int redirect1, int redirect2, const std::string& dir);
  // "QV_" + at most the first six characters of text.
  void SetVersionTag(const std::string& text);
  void SetHwnd(std::intptr_t window) { m_hWndHost = window; }
  void SetSilentMode(int silent) { m_bSilentMode = silent; }
  // The host's version number: tag, dotted text and the two lock texts.
  void SetVersionNumber(int version);
  // 1 when dir (a separator added if missing) + name is the open model, ignoring letter case.
  int CompareModel(const std::string& dir, const std::string& name) const;

  // Model file set: 1 when the (lower-cased) suffix after the model name marks a model file; a
  // ".ttc" or ".ttl" suffix also sets m_bModelHasTTC or m_bModelHasTTL.
  int IsModelFileSuffix(const std::string& suffix);
  // The model's files among full paths listed from the model directory, in listing order.
  void SelectModelFiles(const std::vector<std::string>& listed, std::vector<std::string>& selected);
  // Appends the present TTA profile and input files a case list names; one box for the missing.
  void CollectTTAFiles(std::string caseListPath, std::vector<std::string>& files);

  // Model directories and staging copies between the model directory and the QV temporary one.
  // dir and name as the host gave them (trailing blanks kept); a separator is added to dir.
  void StoreModelDirAndName(const std::string& dir, const std::string& name);
  // Only the directory; name and temporary directory stay.
  void StoreModelDirOnly(const std::string& dir);
  // "_" and four random digits.
  std::string MakeTempDirSuffix();
  // Stores directory and name, makes a new QV temporary directory, starts the copy thread once.
  int SetModelDirectory(const std::string& dir, const std::string& name);
  // 1 copied, 0 failed, -1 cancelled by the user (mode other than 0 copies file by file and asks).
  int CopyModelToTemp(int mode);
  int CopyTempToModel();
  int CopyFileToModel(const std::string& name, const std::string& extension, int showMessage);
  int CopyNamedFileToTemp(const std::string& name, const std::string& extension);
  int CopyExtensionToTemp(const std::string& extension);
  // Removes the QV temporary directory (usePrevious 0) or the previous model's (1), never
  // anything outside the system temporary path.
  void ClearTempDir(int usePrevious);
  void SwapModelDirs();

  // Lock manager: which 0 is the primary slot, 1 the second.
  int AcquireLock(int which, const std::string& path, bool permanent, LockOwnerInfo* owner);
  void ReleaseLock(int which);
  void HoldDataFile(int which);
  void ReleaseDataFile(int which);
  bool CheckLock();
  bool IsPermanentLock() const { return m_primaryLock.bPermanent == 1; }
  bool SetPermanentLock(bool permanent);
  // dir, a separator if missing, name, ".lck".
  static std::string LockPathFor(const std::string& dir, const std::string& name);

  // Copy thread (created once, by the model-directory set-up).
  int StartCopyThread();
  void WaitForQueueEmpty();
  void SuspendCopyThreadAndWait();
  void ResumeCopyThread();

  static constexpr std::size_t kPathBuffer = 256;

  CDiskObject m_diskObject;
  FilePathQueue m_requestQueue;
  CCopyThread* m_pCopyThread = nullptr;
  int m_bCopyThreadStarted = 0;
  std::recursive_mutex m_csQueue;
  std::recursive_mutex m_csLock;
  MyCString m_modelDir;
  std::string m_strModelName;
  std::string m_strSysTempDir;
  std::string m_strVersionTag;
  std::string m_strQVTempDir;
  unsigned char m_bDirGivenWithoutSlash = 0;
  std::string m_strExeDir;
  std::string m_strSavedModelDir;
  std::string m_strSavedModelName;
  std::string m_strSavedQVTempDir;
  unsigned char m_bSavedDirGivenWithoutSlash = 0;
  LockSlot m_primaryLock{};
  LockSlot m_secondLock{};
  int m_bModelHasTTC = 0;
  int m_bModelHasTTL = 0;
  std::vector<std::string> m_fileList;
  int m_bUntLibRedirect1 = 0;
  int m_bUntLibRedirect2 = 0;
  std::string m_strUntLibDir;
  int m_bSilentMode = 0;
  std::array<std::string, 4> m_strArchiveAddIn;
  std::intptr_t m_hWndHost = 0;

 private:
  LockSlot& Slot(int which) { return which == 0 ? m_primaryLock : m_secondLock; }
  std::minstd_rand m_random;
};

// Lower-case copy (ASCII letters), as the library's own path and name comparisons use.
std::string LowerCase(std::string s);
// The host pads fixed-length texts with blanks.
std::string TrimTrailingBlanks(std::string text);

}  // namespace miradel
