// The one object that holds all state of the open model. Every export works on the global
// instance; the copy thread works beside the host's thread on the same object, through the narrow
// CopyHost interface only.
//
// The state lives with the feature that owns it: the model location (model/), the working copy
// and its copies (model/ Staging), the two lock slots and their guard (lock/ LockManager), the
// request queue and the copy thread (copy/ CopyService). This object wires them together and is
// what the exports call: one operation per export.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "copy/copy_host.h"
#include "copy/copy_service.h"
#include "disk/disk_object.h"
#include "lock/lock_manager.h"
#include "model/model_location.h"
#include "model/staging.h"

namespace miradel {

class CNetworkFileControl : public CopyHost {
 public:
  static constexpr std::size_t kPathBuffer = ModelLocation::kPathBuffer;

  CNetworkFileControl();
  ~CNetworkFileControl() override;
  CNetworkFileControl(const CNetworkFileControl&) = delete;
  CNetworkFileControl& operator=(const CNetworkFileControl&) = delete;

  // Settings and getters.
  void SetHwnd(std::intptr_t window) { m_hWndHost = window; }
  void SetSilentMode(int silent) { m_bSilentMode = silent; }
  // The host's version number: the version tag, the dotted text and the two lock texts.
  void SetVersionNumber(int version);
  // The platform's user name with its terminator into buffer of size bytes; 0 when it does not fit.
  int GetUserName(char* buffer, int size);
  int SetWorkingDirectory(const std::string& dir);

  // Model existence (the host asks before it opens a model).
  int IsThisModelDir(const std::string& dir);
  int CheckModelExist(const std::string& dir, const std::string& name, const std::string& extension);
  int FileExistMdlTmp(const std::string& name, int place);

  // Locks: the sequences behind the lock exports.
  int GetLock(LockOwnerInfo* owner, const std::string& dir, const std::string& name);
  int GetSecondLock(LockOwnerInfo* owner, const std::string& dir, const std::string& name, int mode);
  void SetModelVars();
  void GetOldModel(int keepLock);
  void GetOldModLck();
  void ReleaseLock();
  void ReleaseLockOnly();
  void ReleaseOldLock();
  int PermLock(int permanent);

  // The working copy.
  // Stores directory and name, makes a new QV temporary directory and starts the copy thread once;
  // 0 when either cannot be done.
  int SetModelDirectory(const std::string& dir, const std::string& name);
  void ClearPreviousTempDir();

  // CopyHost.
  int RefreshLock() override;
  int RetakeLock(LockOwnerInfo* owner) override;
  std::string ModelDirectory() override;

  CDiskObject m_diskObject;
  ModelLocation m_location;
  Staging m_staging{m_location, m_diskObject};
  LockManager m_locks;
  CopyService m_copy;
  int m_bCopyThreadStarted = 0;
  std::vector<std::string> m_fileList;
  int m_bSilentMode = 0;
  std::array<std::string, 4> m_strArchiveAddIn;
  std::intptr_t m_hWndHost = 0;
};

}  // namespace miradel
