// One held lock: the lock file and the model's data file, both open for writing with read-only
// sharing, so that colleagues can read the model but neither write it nor take its lock.
//
// A slot is a plain record: the lock manager copies it whole to remember the previous model's lock
// while a new one is taken, so two slots may name the same open files (see LockManager).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

#include "lock/lock_owner_info.h"
#include "lock/lock_texts.h"
#include "platform/env.h"

namespace miradel {

struct LockSlot {
  platform::FileHandle hLockFile;
  platform::FileHandle hDataFile;
  LockOwnerInfo owner;
  char szLockPath[256];
  unsigned char bPermanent;
  // 1 when the last Acquire made the lock file anew (none was there, stale or permanent).
  unsigned char bCreated;
  // When our text was last written, on the steady clock in milliseconds (0: never).
  std::int64_t writtenAtMs;
  // A refresh this soon after a write, that finds the name still leading to our file, writes
  // nothing: a burst of write-backs costs two look-ups each, and a lock whose name was deleted or
  // taken is still seen at once.
  static constexpr std::int64_t kRewriteAfterMs = 500;

  // 1 locked; 0 held by another (owner filled), unreadable, or data file held by someone else;
  // 2 no permission for the lock file but the data file is readable (read-only model);
  // 3 no permission for either; 4 data file not writable (nothing is held afterwards). A lock file
  // that is this user's permanent lock stays on disk whatever the outcome.
  int Acquire(const std::string& lockPath, bool permanent, LockOwnerInfo* ownerOut, const LockTexts& texts);
  // Closes both files and deletes the lock file unless it is permanent. A slot that holds no lock
  // file closes and deletes nothing: its path may meanwhile name someone else's lock.
  void Release();
  // Drops both handles without closing them: another record holds the same files.
  void Forget() { hLockFile = hDataFile = platform::kNoFile; }
  // 0 the data file is held by someone else; 2 access denied; 1 otherwise (also when it is missing,
  // or when the slot holds no lock file and so has no data file to hold).
  int HoldDataFile();
  void ReleaseDataFile();
  // 1 written; 2 the lock file cannot be opened for reading (missing or unreachable); 0 the write
  // failed or no lock text is prepared. durable: also 0 when the data did not reach the disk or
  // server (a lock being taken or made permanent); a refresh only shows that the file is writable.
  int WriteLockFile(bool permanent, const LockTexts& texts, bool durable);
  // The same through the open handle, without first looking for the file on its path.
  int WriteText(bool permanent, const LockTexts& texts, bool durable);
  // WriteLockFile before a write-back, and 0 as well when the lock file now names another user or
  // machine: someone deleted ours and took the model (possible where open files can be deleted),
  // and writing on into our own, unlinked file would hide that the lock has lapsed.
  int Refresh(const LockTexts& texts);
  bool IsOwnedByCurrentUser() const;
  // The owner record names this user (and, with machineToo, this machine).
  static bool NamesCurrentUser(const LockOwnerInfo& info, bool machineToo);

  bool IsHeld() const { return hLockFile != platform::kNoFile; }
  bool HasPath() const { return szLockPath[0] != 0 && std::memchr(szLockPath, 0, sizeof(szLockPath)) != nullptr; }
  std::string LockPath() const { return HasPath() ? std::string(szLockPath) : std::string(); }
};

static_assert(std::is_trivially_copyable<LockSlot>::value, "slots are copied whole");

// Reads at most 510 bytes of a lock file through a handle that shares reading and writing.
// Returns false when the file cannot be opened or read.
bool ReadLockFileText(const std::string& lockPath, std::string* text);

// Somebody else has the model of this lock path now: its lock file is held open (by another
// process: call it only for a lock no slot of this process holds), or is another user's permanent
// lock. owner (if given) receives what the file names. A stale temporary lock, or none, is nobody's.
bool HeldBySomeoneElse(const std::string& lockPath, LockOwnerInfo* owner);

}  // namespace miradel
