// Windows' sharing, emulated with open-file-description locks; sharing.cpp says why and how.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <string>

#include "platform/env.h"
#include "platform/posix/names.h"
#include "platform/posix/system.h"

namespace miradel::platform::posix {

constexpr int kOpenAttempts = 8;

enum class Lock { kNone, kShared, kExclusive };

// Which lock a handle takes, from its access and sharing.
Lock LockFor(unsigned access, unsigned share);
// Returns 0, or the errno of the failure (EAGAIN/EACCES: someone holds a conflicting lock).
int TakeLock(int fd, Lock lock);
bool IsConflict(int err);

struct Opened {
  int fd = -1;
  bool existed = false;
  struct stat st = {};  // of the opened file, read after it was opened
  std::string path;     // the name it was opened under (on shares: as listed)
};

enum class Create { kNo, kIfMissing, kOnlyNew };

// How a path is taken: OpenFile takes no final symbolic link and, on shares, the listed spelling;
// CopyFile follows links as the system's copy would, and lists nothing, to stay fast. kListedShare:
// the caller has spelled the directories as listed already and found them on a share. kLockOnly:
// the descriptor only holds the lock, nothing is read or written through it, so it may stay
// non-blocking. kNamedLater: the caller checks that the path names the locked file (SameFile with
// Opened::st) before it relies on that, so no status is read right after the lock. kUnrecorded: a
// file this open makes is not added to the names cached for its directory (names.cpp); the
// directory's next time then says the cache is stale. kMadeIsOurs: a file this open makes is the
// one it locks, without a look at its name after the lock, as nobody deletes a file of its kind
// (a replacement's temporary file, which the next replacement takes over, never deletes).
enum Rules : unsigned {
  kAsGiven = 0,
  kNoFinalLink = 1,
  kAsListed = 2,
  kListedShare = 4,
  kLockOnly = 8,
  kNamedLater = 16,
  kUnrecorded = 32,
  kMadeIsOurs = 64,
};

// Opens without waiting for a FIFO's other end (see sharing.cpp). *flags_used says which flags the
// descriptor was opened with.
int OpenNoHang(const std::string& path, int flags, int* flags_used, mode_t mode = 0);
// 0 for a regular file, made blocking again; EISDIR for a directory; ENXIO for anything else.
int CheckRegular(int fd, int flags_used, struct stat* st);
// On a share, the name under which the directory lists the file at `path` when that is another
// spelling; empty when `path` is spelled as listed.
std::string OtherSpelling(const std::string& path);
// A refusal that took this long was the server waiting for another opener to let go.
constexpr int kSlowRefusalMs = 200;
// Calls `call` (0 or -1 with errno) again while the share says EBUSY, for a moment, as a close we
// made may not have reached the server yet; when it may `give_way`, not after a second refusal that
// took kSlowRefusalMs or more. Returns 0 or an errno.
int RetryWhileBusy(const std::function<int()>& call, bool give_way);
// Unlinks `path`, whose file fd holds locked, and closes fd; on a `share` it closes first. Returns 0
// or an errno.
int UnlinkHeld(int fd, const std::string& path, bool share);
// Opens `path` (already resolved) and takes the lock its sharing calls for. Never truncates: the
// caller does that once the lock is held, or it would wipe a file that someone else holds.
Status OpenLocked(std::string path, int flags, Create create, Lock lock, unsigned rules, Opened* out,
                  const Device* device = nullptr);

}  // namespace miradel::platform::posix
