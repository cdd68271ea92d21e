// The two lock slots of the open model and the sequences that take, switch and release them: the
// primary slot is the open model's lock; the second holds the previous model's lock while a new one
// is taken, or a lock the host takes explicitly.
//
// Guards, in the order they are taken: m_csWrite, m_csLock, then the request queue's guard.
//  - m_csLock around every take, test, rewrite, save and restore of a slot, as the copy thread
//    refreshes and re-takes the lock of the model it writes back on its own. Held only for that:
//    never across a question to the user, whose box needs the host's thread, which may be waiting
//    for this guard in a lock export.
//  - m_csWrite: the copy thread holds it while it writes one file under a lock; the host's
//    releases take it, so that no lock goes while a file is being written under it.
//
// Copies of slots share handles. Releasing one of two slots that name the same lock file releases
// it for both: the other is left free, so that it neither closes a file opened later nor deletes a
// lock file that someone else has taken since.
#pragma once

#include <mutex>
#include <set>
#include <string>

#include "lock/lock_slot.h"
#include "lock/lock_texts.h"

namespace miradel {

class LockManager {
 public:
  enum Which { kPrimary = 0, kSecond = 1, kNone = -1 };
  // Whether this process holds the lock at a path:
  //  kHeld      a slot holds it;
  //  kLapsed    a slot names it but lost it, and nobody let it go: to be taken again;
  //  kReleased  the host let it go (or the model moved away from it): not ours to write under;
  //  kNever     never held here (a model opened without a lock).
  enum class Ownership { kHeld, kLapsed, kReleased, kNever };

  LockManager() = default;
  LockManager(const LockManager&) = delete;
  LockManager& operator=(const LockManager&) = delete;

  void SetTexts(LockTexts texts);
  LockTexts Texts();

  // The slot operations the exports reach.
  int AcquireLock(Which which, const std::string& path, bool permanent, LockOwnerInfo* owner);
  // Waits for a write under the slot's lock to end (m_csWrite) first.
  void ReleaseLock(Which which);
  void HoldDataFile(Which which);
  void ReleaseDataFile(Which which);
  // Rewrites the primary lock file: 1 written, 2 missing or unreachable (counts as held), 0 failed
  // or no longer ours (see LockSlot::Refresh).
  int RefreshPrimary() { return Refresh(kPrimary); }
  int Refresh(Which which);
  bool CheckLock() { return RefreshPrimary() != 0; }
  bool IsPermanentLock();
  bool SetPermanentLock(bool permanent);
  // Plain copies of the whole primary record; nothing is opened or closed.
  void SavePrimaryLock();
  void RestorePrimaryLock();

  // Takes path as the primary lock, keeping the previous primary lock in the second slot; a first
  // take that succeeds is let go at once, so that the lock is held from a fresh take. On any result
  // but 1 the previous lock is the primary lock again. An empty path is refused (0).
  int TakeNewPrimary(const std::string& path, LockOwnerInfo* owner);
  // The second slot by mode: 1 or 2 takes path keeping only the lock file open; 3 releases it.
  int SecondLock(const std::string& path, int mode, LockOwnerInfo* owner);
  // Closes the slot's files and takes its lock again under its own path and permanence (a lock
  // file that could not be rewritten). Nothing is deleted: the file at that path may be a
  // colleague's by now. 1 held again; otherwise the refusal's code, with owner filled.
  int Retake(Which which, LockOwnerInfo* owner);
  // See Ownership; which receives the slot for kHeld and kLapsed, else kNone. Paths are compared
  // without regard to case.
  Ownership OwnershipOf(const std::string& lockPath, Which* which);

  // For moving a model: the whole record of a slot, kept while a lock is taken elsewhere, put back
  // when that is refused, or let go (its files closed, its lock file deleted unless permanent) once
  // the model has moved. A slot that shares the kept record's files forgets them.
  LockSlot Snapshot(Which which);
  void PutBack(Which which, const LockSlot& kept);
  void ReleaseKept(LockSlot kept);
  std::string LockPath(Which which);

  // For inspection (tests, the demo): copies of the records.
  LockSlot Primary();
  LockSlot Second();

  // Closes every handle without deleting anything, as the end of the process would.
  void Abandon();

  std::recursive_mutex m_csLock;
  std::mutex m_csWrite;

 private:
  LockSlot& Slot(Which which) { return which == kPrimary ? m_primaryLock : m_secondLock; }
  LockSlot& Other(Which which) { return which == kPrimary ? m_secondLock : m_primaryLock; }
  void ReleaseUnguarded(Which which);
  // Closes the slot's files (and forgets them in the other slot that shares them) without deleting.
  void CloseUnguarded(Which which);
  void Taken(const std::string& path);
  void LetGo(const std::string& path);

  LockSlot m_primaryLock{};
  LockSlot m_secondLock{};
  LockTexts m_texts;
  // Lower-cased paths of locks this process held and let go since it last took them.
  std::set<std::string> m_released;
};

}  // namespace miradel
