#include "control/network_file_control.h"

#include <chrono>
#include <cstring>

#include "base/path.h"
#include "base/text.h"
#include "control/version.h"
#include "lock/lock_path.h"
#include "platform/env.h"
#include "ui/file_properties_model.h"
#include "ui/user_interface.h"

namespace miradel {

namespace {
// Longest path the host's own buffers hold.
constexpr std::size_t kMaxPath = 259;
}  // namespace

CNetworkFileControl::CNetworkFileControl() = default;

CNetworkFileControl::~CNetworkFileControl() {
  // The copy thread stops where it stands: it carries out no further request (a file operation
  // under way finishes first), and nothing is released or copied for it. What it leaves queued
  // exists only in the working copies, which say so.
  m_copy.Stop();
  try {
    for (const QueueNode& request : m_copy.Pending(false)) RecordUnwritten(request);
  } catch (...) {
  }
}

void CNetworkFileControl::SetVersionNumber(int version) {
  std::string digits = VersionDigits(version);
  m_staging.SetVersionTag(digits);
  m_locks.SetTexts(BuildLockTexts(platform::Current(), DottedVersion(digits)));
}

int CNetworkFileControl::ShowFileProperties(const std::string& modelFile, const std::string& lastSavedBy,
                                            int alwaysShow, int revision) {
  char dir[ModelLocation::kPathBuffer] = {};
  m_location.GetModelDirText(dir);
  const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::system_clock::now().time_since_epoch()).count();
  const ui::FileProperties properties =
      ui::FillFileProperties(platform::Current(), dir, modelFile, lastSavedBy, alwaysShow, revision, now);
  return ui::Current().FilePropertiesDialog(m_hWndHost, properties) ? 1 : 0;
}

void CNetworkFileControl::ArchiveModel() {
  // The program's directory is still held as text.
  m_archive.ArchiveModel(m_location.WorkingCopy(), Path::FromText(m_staging.ExeDir()),
                         m_location.ModelDir(), m_location.m_strModelName);
}

int CNetworkFileControl::GetUserName(char* buffer, int size) {
  if (!buffer || size <= 0) return 0;
  std::string name;
  if (!platform::Current().UserName(&name).ok()) return 0;
  if (name.size() + 1 > static_cast<std::size_t>(size)) return 0;
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  return 1;
}

int CNetworkFileControl::SetWorkingDirectory(const Path& dir) {
  return platform::Current().SetCurrentDirectory(dir.str()).ok() ? 1 : 0;
}

int CNetworkFileControl::IsThisModelDir(const Path& dir) {
  const std::string& exeDir = m_staging.ExeDir();
  if (dir.empty()) return text::EqualsNoCase(m_location.ModelDir().str(), exeDir) ? 1 : 0;
  return text::LowerCase(path::WithSeparator(text::TrimTrailingBlanks(dir.str()))) == exeDir ? 1 : 0;
}

int CNetworkFileControl::CheckModelExist(const Path& dir, const Path& name, const std::string& extension) {
  std::string d = text::TrimTrailingBlanks(dir.str());
  std::string n = text::TrimTrailingBlanks(name.str());
  if (d.empty() || n.empty()) return 0;
  std::string file = path::WithSeparator(d) + n;
  if (!extension.empty()) file += "." + extension;
  return platform::PathExists(file) ? 1 : 0;
}

int CNetworkFileControl::FileExistMdlTmp(const Path& name, int place) {
  std::string dir = (place == 1 ? m_location.WorkingCopy() : m_location.ModelDir()).str();
  // Without a directory there is nothing to look in; the name alone would be looked up wherever
  // the process happens to stand.
  if (dir.empty()) return 0;
  std::string file = dir + name.str();
  if (file.size() > kMaxPath) return 0;
  return platform::PathExists(file) ? 1 : 0;
}

int CNetworkFileControl::GetLock(LockOwnerInfo* owner, const Path& dir, const std::string& name) {
  m_location.SaveModelState();
  return m_locks.TakeNewPrimary(LockPathFor(dir, name), owner);
}

int CNetworkFileControl::GetSecondLock(LockOwnerInfo* owner, const Path& dir, const std::string& name, int mode) {
  const std::string held = m_locks.LockPath(LockManager::kSecond);
  const int result = m_locks.SecondLock(LockPathFor(dir, name), mode, owner);
  if (mode == 3) StrandRequests(held);
  return result;
}

void CNetworkFileControl::SetModelVars() {
  m_location.SaveModelState();
  m_locks.SavePrimaryLock();
}

void CNetworkFileControl::GetOldModel(int keepLock) {
  if (keepLock == 0) ReleaseSlot(LockManager::kPrimary);
  // Only a working copy made for the model given up goes; without one, it is the open model's.
  if (!text::EqualsNoCase(m_location.WorkingCopy().str(), m_location.SavedWorkingCopy().str())) {
    ClearWorkingCopy(0);
  }
  m_location.RestoreModelState();
  m_locks.RestorePrimaryLock();
}

void CNetworkFileControl::GetOldModLck() {
  ReleaseSlot(LockManager::kPrimary);
  m_locks.RestorePrimaryLock();
}

void CNetworkFileControl::ReleaseLock() {
  m_copy.WaitForQueueEmpty();
  ReleaseSlot(LockManager::kPrimary);
  ClearWorkingCopy(0);
}

void CNetworkFileControl::ReleaseLockOnly() {
  m_copy.WaitForQueueEmpty();
  ReleaseSlot(LockManager::kPrimary);
}

void CNetworkFileControl::ReleaseOldLock() {
  m_copy.WaitForQueueEmpty();
  ReleaseSlot(LockManager::kSecond);
  ClearWorkingCopy(1);
}

void CNetworkFileControl::ReleaseSlot(LockManager::Which which) {
  const std::string held = m_locks.LockPath(which);
  m_locks.ReleaseLock(which);
  StrandRequests(held);
}

int CNetworkFileControl::PermLock(int permanent) {
  bool wanted = permanent != 0;
  if (wanted == m_locks.IsPermanentLock()) return 1;
  return m_locks.SetPermanentLock(wanted) ? 1 : 0;
}

int CNetworkFileControl::SetModelDirectory(const Path& dir, const std::string& name) {
  if (m_staging.SetModelDirectory(dir, name) != 1) return 0;
  // A working copy whose write-backs nobody would serve is no working copy.
  return EnsureCopyThread();
}

void CNetworkFileControl::ClearPreviousTempDir() {
  m_copy.WaitForQueueEmpty();
  ClearWorkingCopy(1);
}

}  // namespace miradel
