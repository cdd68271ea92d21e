#include "lock/lock_manager.h"

#include "base/text.h"

namespace miradel {

using Guard = std::lock_guard<std::recursive_mutex>;

void LockManager::SetTexts(LockTexts texts) {
  Guard g(m_csLock);
  m_texts = std::move(texts);
}

LockTexts LockManager::Texts() {
  Guard g(m_csLock);
  return m_texts;
}

void LockManager::Taken(const std::string& path) { m_released.erase(text::LowerCase(path)); }

void LockManager::LetGo(const std::string& path) {
  if (!path.empty()) m_released.insert(text::LowerCase(path));
}

int LockManager::AcquireLock(Which which, const std::string& path, bool permanent, LockOwnerInfo* owner) {
  Guard g(m_csLock);
  const int result = Slot(which).Acquire(path, permanent, owner, m_texts);
  if (result == 1) Taken(path);
  return result;
}

void LockManager::ReleaseUnguarded(Which which) {
  LockSlot& slot = Slot(which);
  LockSlot& other = Other(which);
  const platform::FileHandle lockFile = slot.hLockFile;
  const platform::FileHandle dataFile = slot.hDataFile;
  LetGo(slot.LockPath());
  slot.Release();
  if (lockFile != platform::kNoFile && other.hLockFile == lockFile) other.Forget();
  if (dataFile != platform::kNoFile && other.hDataFile == dataFile && lockFile != platform::kNoFile)
    other.hDataFile = platform::kNoFile;
}

void LockManager::CloseUnguarded(Which which) {
  LockSlot& slot = Slot(which);
  LockSlot& other = Other(which);
  platform::Env& env = platform::Current();
  for (platform::FileHandle* h : {&slot.hLockFile, &slot.hDataFile}) {
    if (*h == platform::kNoFile) continue;
    if (other.hLockFile == *h) other.hLockFile = platform::kNoFile;
    if (other.hDataFile == *h) other.hDataFile = platform::kNoFile;
    env.Close(*h).IgnoreError();
    *h = platform::kNoFile;
  }
}

void LockManager::ReleaseLock(Which which) {
  std::lock_guard<std::mutex> writes(m_csWrite);
  Guard g(m_csLock);
  ReleaseUnguarded(which);
}

void LockManager::HoldDataFile(Which which) {
  Guard g(m_csLock);
  Slot(which).HoldDataFile();
}

void LockManager::ReleaseDataFile(Which which) {
  Guard g(m_csLock);
  LockSlot& slot = Slot(which);
  const platform::FileHandle dataFile = slot.hDataFile;
  slot.ReleaseDataFile();
  if (dataFile != platform::kNoFile && Other(which).hDataFile == dataFile) Other(which).hDataFile = platform::kNoFile;
}

int LockManager::Refresh(Which which) {
  Guard g(m_csLock);
  return Slot(which).Refresh(m_texts);
}

bool LockManager::IsPermanentLock() {
  Guard g(m_csLock);
  return m_primaryLock.bPermanent == 1;
}

bool LockManager::SetPermanentLock(bool permanent) {
  Guard g(m_csLock);
  return m_primaryLock.WriteLockFile(permanent, m_texts, true) != 0;
}

void LockManager::SavePrimaryLock() {
  Guard g(m_csLock);
  m_secondLock = m_primaryLock;
}

void LockManager::RestorePrimaryLock() {
  Guard g(m_csLock);
  m_primaryLock = m_secondLock;
}

int LockManager::TakeNewPrimary(const std::string& path, LockOwnerInfo* owner) {
  Guard g(m_csLock);
  m_secondLock = m_primaryLock;
  if (path.empty()) return 0;
  int result = m_primaryLock.Acquire(path, false, owner, m_texts);
  // A lock file taken over (a stale one, or this user's permanent one) is let go and taken again, so
  // that the file is this lock's own from its start; one made just now already is, and letting it
  // go would open a moment in which a colleague could take the model.
  if (result == 1 && m_primaryLock.bCreated != 1) {
    ReleaseUnguarded(kPrimary);
    result = m_primaryLock.Acquire(path, false, owner, m_texts);
  }
  if (result == 1)
    Taken(path);
  else
    m_primaryLock = m_secondLock;
  return result;
}

int LockManager::SecondLock(const std::string& path, int mode, LockOwnerInfo* owner) {
  Guard g(m_csLock);
  switch (mode) {
    case 1:
    case 2: {
      if (path.empty()) return 0;
      int result = m_secondLock.Acquire(path, false, owner, m_texts);
      if (result == 0) return 0;
      if (result == 1) Taken(path);
      m_secondLock.ReleaseDataFile();
      return result;
    }
    case 3: {
      std::lock_guard<std::mutex> writes(m_csWrite);
      ReleaseUnguarded(kSecond);
      return 1;
    }
    default:
      return 0;
  }
}

int LockManager::Retake(Which which, LockOwnerInfo* owner) {
  Guard g(m_csLock);
  LockSlot& slot = Slot(which);
  const std::string path = slot.LockPath();
  const bool permanent = slot.bPermanent == 1;
  CloseUnguarded(which);
  const int result = slot.Acquire(path, permanent, owner, m_texts);
  if (result == 1) Taken(path);
  return result;
}

LockManager::Ownership LockManager::OwnershipOf(const std::string& lockPath, Which* which) {
  Guard g(m_csLock);
  *which = kNone;
  if (lockPath.empty()) return Ownership::kNever;
  for (Which w : {kPrimary, kSecond})
    if (Slot(w).IsHeld() && text::EqualsNoCase(Slot(w).LockPath(), lockPath)) {
      *which = w;
      return Ownership::kHeld;
    }
  if (m_released.count(text::LowerCase(lockPath))) return Ownership::kReleased;
  for (Which w : {kPrimary, kSecond})
    if (text::EqualsNoCase(Slot(w).LockPath(), lockPath)) {
      *which = w;
      return Ownership::kLapsed;
    }
  return Ownership::kNever;
}

LockSlot LockManager::Snapshot(Which which) {
  Guard g(m_csLock);
  return Slot(which);
}

void LockManager::PutBack(Which which, const LockSlot& kept) {
  Guard g(m_csLock);
  Slot(which) = kept;
}

void LockManager::ReleaseKept(LockSlot kept) {
  Guard g(m_csLock);
  LetGo(kept.LockPath());
  for (LockSlot* slot : {&m_primaryLock, &m_secondLock}) {
    // The kept handles are still open, so no other file has their values: a slot holding one of
    // them is a copy of the kept record.
    if (kept.hLockFile != platform::kNoFile && slot->hLockFile == kept.hLockFile) slot->Forget();
    if (kept.hDataFile != platform::kNoFile && slot->hDataFile == kept.hDataFile) slot->hDataFile = platform::kNoFile;
  }
  kept.Release();
}

std::string LockManager::LockPath(Which which) {
  Guard g(m_csLock);
  return Slot(which).LockPath();
}

LockSlot LockManager::Primary() {
  Guard g(m_csLock);
  return m_primaryLock;
}

LockSlot LockManager::Second() {
  Guard g(m_csLock);
  return m_secondLock;
}

void LockManager::Abandon() {
  Guard g(m_csLock);
  platform::Env& env = platform::Current();
  for (LockSlot* slot : {&m_primaryLock, &m_secondLock}) {
    for (platform::FileHandle h : {slot->hLockFile, slot->hDataFile})
      if (h != platform::kNoFile) env.Close(h).IgnoreError();
    slot->Forget();
  }
}

}  // namespace miradel
