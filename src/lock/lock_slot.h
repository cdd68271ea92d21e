// One held lock: the lock file and the model's data file, both open for writing with read-only
// sharing, so that colleagues can read the model but neither write it nor take its lock.
//
// A slot is a plain record: the control object copies it whole to remember the previous model's
// lock while a new one is taken, so two slots may name the same open files. Closing a file through
// one of them makes the other's handle dead, never another file's (see platform handles).
#pragma once

#include <cstring>
#include <string>
#include <type_traits>

#include "lock/lock_owner_info.h"
#include "platform/env.h"

namespace miradel {

struct LockSlot {
  platform::FileHandle hLockFile;
  platform::FileHandle hDataFile;
  LockOwnerInfo owner;
  char szLockPath[256];
  unsigned char bPermanent;

  // 1 locked; 0 held by another (owner filled), unreadable, or data file held by someone else;
  // 2 no permission for the lock file but the data file is readable (read-only model);
  // 3 no permission for either; 4 data file not writable (nothing is held afterwards).
  int Acquire(const std::string& lockPath, bool permanent, LockOwnerInfo* ownerOut);
  void Release();
  // 0 the data file is held by someone else; 2 access denied; 1 otherwise (also when it is missing).
  int HoldDataFile();
  void ReleaseDataFile();
  // 1 written; 2 the lock file cannot be opened for reading (missing or unreachable); 0 the write
  // failed or no lock text is prepared.
  int WriteLockFile(bool permanent);
  int Refresh() { return WriteLockFile(bPermanent != 0); }
  bool IsOwnedByCurrentUser() const;

  bool HasPath() const { return szLockPath[0] != 0 && std::memchr(szLockPath, 0, sizeof(szLockPath)) != nullptr; }
  std::string LockPath() const { return HasPath() ? std::string(szLockPath) : std::string(); }
  // The data file of a lock: the lock path without its last four characters, plus ".dat".
  static std::string DataFilePath(const std::string& lockPath);
};

static_assert(std::is_trivially_copyable<LockSlot>::value, "slots are copied whole");

// Reads at most 510 bytes of a lock file through a handle that shares reading and writing.
// Returns false when the file cannot be opened or read.
bool ReadLockFileText(const std::string& lockPath, std::string* text);

}  // namespace miradel
