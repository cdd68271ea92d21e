// The control object's lock operations: the only ways the exports reach the two lock slots.
#include "control/network_file_control.h"
#include "platform/env.h"

namespace miradel {

std::string CNetworkFileControl::LockPathFor(const std::string& dir, const std::string& name) {
  return platform::WithSeparator(dir) + name + ".lck";
}

int CNetworkFileControl::AcquireLock(int which, const std::string& path, bool permanent, LockOwnerInfo* owner) {
  // The copy thread refreshes and re-takes the primary lock; the second is the host's alone.
  if (which == 0) {
    std::lock_guard<std::recursive_mutex> guard(m_csLock);
    return m_primaryLock.Acquire(path, permanent, owner);
  }
  return m_secondLock.Acquire(path, permanent, owner);
}

void CNetworkFileControl::ReleaseLock(int which) { Slot(which).Release(); }

void CNetworkFileControl::HoldDataFile(int which) { Slot(which).HoldDataFile(); }

void CNetworkFileControl::ReleaseDataFile(int which) { Slot(which).ReleaseDataFile(); }

bool CNetworkFileControl::CheckLock() {
  std::lock_guard<std::recursive_mutex> guard(m_csLock);
  return m_primaryLock.Refresh() != 0;
}

bool CNetworkFileControl::SetPermanentLock(bool permanent) {
  std::lock_guard<std::recursive_mutex> guard(m_csLock);
  return m_primaryLock.WriteLockFile(permanent) != 0;
}

}  // namespace miradel
