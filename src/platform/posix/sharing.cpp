// Sharing as Windows has it, among the programs that use this port.
#include "platform/posix/sharing.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <functional>

#include "base/clock.h"
#include "platform/posix/names.h"

#ifndef F_OFD_SETLK
#error "The POSIX adapter needs open-file-description locks (F_OFD_SETLK, Linux 3.15 or later)."
#endif

namespace miradel::platform::posix {

// ---------------------------------------------------------------------------------------------------
// Sharing, and why it is done this way.
//
// Windows keeps other writers (and deleters) away from a file opened with "share read" by the
// system itself. POSIX has nothing of the kind, so we build it from advisory locks, and the choice of
// lock is the whole game:
//
//  * Classic fcntl() locks (F_SETLK) belong to the process, not to the descriptor. Two handles of
//    one process never conflict, and - worse - closing ANY descriptor of the file drops every lock
//    the process holds on it. The copy thread reading the model, or a colleague-check that opens
//    and closes the .dat, would silently unlock the model. Unusable.
//  * flock() belongs to the open file description, but on NFS and SMB mounts Linux emulates it with
//    whole-file fcntl locks, with the faults of both.
//  * Open-file-description locks (F_OFD_SETLK) belong to the descriptor we opened: handles of the
//    same process conflict like those of different processes, and only closing that very handle
//    releases the lock. That is the Windows behaviour, so we use them, with l_pid 0 as required.
//
// We lock one byte far beyond the end of the file instead of the whole file: SMB servers enforce
// byte-range locks as mandatory, so a whole-file lock would stop colleagues reading the model, which
// Windows sharing allows. Nobody reads or writes at 2^63 - 16.
//
// The lock only works between programs that play by these rules; a plain `cat > model.dat` walks
// straight through it. Readers that share writing take no lock at all and are never refused.
//
// Holding a lock says nothing about the name: between open() and the lock, the holder (or a deleter
// we raced with) may have unlinked the file and created another under the same name. So after
// locking we check that the path still names our inode, and start over if not.
//
// Deleting follows the same rule from the other side: lock exclusively, then check that the path
// still names the locked file (a status read after the lock; one read before it lets two deleters
// pass together, and the slower one unlinks the next holder's new file), and unlink while holding
// the lock, so that no taker can lock and check the file between our check and the unlink.
//
// Only regular files are opened, and never through a final symbolic link: a FIFO named like a lock
// file would hang the open, a link would have us write lock text into whatever it points at.
//
// Shares (as measured with a FUSE SMB client, over SMB3 and NT1):
//  * An open file cannot be unlinked (EBUSY): the server refuses while anyone has it open, and
//    over NT1 says so only after a second (a second such answer is taken as final). A deleter on a
//    share closes first, then unlinks. No guard is needed for that window: a taker that locks the
//    file in it holds the file open, so the unlink fails the same way and the file stays.
//  * Names are case-insensitive, but each spelling of a path is an inode of its own to our kernel,
//    so locks taken through pump.lck and PUMP.LCK never meet. Files that take a lock are opened
//    under the spelling the directories list, and after locking we check that the listing still
//    names the file as we opened it (it cannot change while we hold it open, see above). The
//    folders above it can: a server lets them be renamed while files below are open.
//  * A write-only descriptor cannot be truncated with SMB3 (EIO after seconds, truncated anyway):
//    writers are opened for reading as well.
//  * Nor can an open file be renamed, or renamed over (EBUSY). The client renames over a file by
//    deleting it and then renaming: with the source still open the target is gone and the rename
//    fails. ReplaceWithCopy closes its copy before it renames, and keeps it when the target went.
//  * The server stamps a written file with the time of its close, and a time set without the
//    access time becomes "now": a copy's times are set by name, after its close, with both times.
// ---------------------------------------------------------------------------------------------------
constexpr off_t kShareByte = static_cast<off_t>(0x7ffffffffffffff0LL);

// Which lock a handle takes, from its access and sharing. Write access without shared writing is an
// exclusive writer (Windows would keep every other writer out); any other writer, and any reader that
// denies writing, takes the shared lock, which only an exclusive writer conflicts with.
Lock LockFor(unsigned access, unsigned share) {
  bool writes = (access & kWrite) != 0;
  bool shares_writing = (share & kShareWrite) != 0;
  if (writes && !shares_writing) return Lock::kExclusive;
  if (writes || !shares_writing) return Lock::kShared;
  return Lock::kNone;
}

// Returns 0, or the errno of the failure (EAGAIN/EACCES: someone holds a conflicting lock).
int TakeLock(int fd, Lock lock) {
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = lock == Lock::kExclusive ? F_WRLCK : F_RDLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kShareByte;
  fl.l_len = 1;
  fl.l_pid = 0;
  while (fcntl(fd, F_OFD_SETLK, &fl) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

bool IsConflict(int err) { return err == EAGAIN || err == EACCES; }

// ------------------------------------------------------------------------------------------------
// Opening with sharing.

// Opens without waiting for a FIFO's other end. A regular file whose lease holder must first let it
// go refuses O_NONBLOCK with EWOULDBLOCK; that one is opened again, waiting as usual. *flags_used
// says which flags the descriptor was opened with. A file made with O_EXCL is new and ours: it needs
// no guard.
int OpenNoHang(const std::string& path, int flags, int* flags_used, mode_t mode) {
  const bool fresh = (flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL);
  *flags_used = fresh ? flags : flags | O_NONBLOCK;
  int fd = OpenRetrying(path.c_str(), *flags_used, mode);
  if (fd < 0 && errno == EWOULDBLOCK && !fresh) fd = OpenRetrying(path.c_str(), *flags_used = flags, mode);
  return fd;
}

// 0 for a regular file, made blocking again; EISDIR for a directory (Windows says "access
// denied"); ENXIO for a FIFO, socket or device, as the system says for some of them.
int CheckRegular(int fd, int flags_used, struct stat* st) {
  if (Sys().fstat(fd, st) != 0) return errno;
  if (S_ISDIR(st->st_mode)) return EISDIR;
  if (!S_ISREG(st->st_mode)) return ENXIO;
  // F_SETFL changes only the status flags, of which we set none but O_NONBLOCK.
  if ((flags_used & O_NONBLOCK) && ::fcntl(fd, F_SETFL, flags_used & ~O_NONBLOCK) != 0) return errno;
  return 0;
}

// On a share, the name under which the directory lists the file at `path` when that is another
// spelling (see "Shares"); empty when `path` is spelled as listed.
std::string OtherSpelling(const std::string& path) {
  std::string name = BaseName(path), listed = ListedName(DirName(path), name);
  return listed.empty() || listed == name ? std::string() : Join(DirName(path), listed);
}

int RetryWhileBusy(const std::function<int()>& call, bool give_way) {
  int slow_refusals = 0;
  for (int attempt = 0;; ++attempt) {
    const std::int64_t asked = MonotonicMs();
    if (call() == 0) return 0;
    if (errno != EBUSY) return errno;
    // A FUSE client passes our close on to the server only after it returns: give it a moment. A
    // taker that opened the file meanwhile keeps it open, and so busy, through all of these tries.
    if (attempt == 10) return EBUSY;
    // Over NT1 the server answers only after waiting a second for the other opener, and the client
    // serves nobody meanwhile. The first such wait may still be for our own close, queued in the
    // client behind this call; a second one is for someone else, who may hold the file for long.
    if (give_way && MonotonicMs() - asked >= kSlowRefusalMs && ++slow_refusals == 2) return EBUSY;
    struct timespec pause = {0, 20 * 1000 * 1000};
    ::nanosleep(&pause, nullptr);
  }
}

// Unlinks `path`, whose file fd holds locked, and closes fd. A share will not unlink an open file,
// and a server may answer that only after a second: there it closes first (see "Shares").
// Returns 0 or an errno.
int UnlinkHeld(int fd, const std::string& path, bool share) {
  if (!share) {
    const bool gone = Sys().unlink(path.c_str()) == 0;
    const int err = errno;
    CloseFd(fd);
    if (gone) return 0;
    if (err != EBUSY) return err;
  } else {
    CloseFd(fd);
  }
  return RetryWhileBusy([&] { return Sys().unlink(path.c_str()); }, true);
}

// Opens `path` (already resolved) and takes the lock its sharing calls for. Never truncates: the
// caller does that once the lock is held, or it would wipe a file that someone else holds.
Status OpenLocked(std::string path, int flags, Create create, Lock lock, unsigned rules, Opened* out,
                  const Device* device) {
  bool share = (rules & kListedShare) != 0;
  if ((rules & kAsListed) && lock != Lock::kNone) path = ListedDirectories(path, &share, device);
  if (rules & kNoFinalLink) flags |= O_NOFOLLOW;
  int retry_reason = EAGAIN;
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    int fd = -1, used = 0;
    bool created = false;
    if (create != Create::kNo) {
      fd = OpenNoHang(path, flags | O_CREAT | O_EXCL | O_CLOEXEC, &used, 0666);
      created = fd >= 0;
      if (created && !(rules & kUnrecorded)) FoldedCreated(ParentOf(path), BaseName(path));
      if (fd < 0 && errno == EEXIST && create == Create::kIfMissing) {
        fd = OpenNoHang(path, flags | O_CLOEXEC, &used);
        if (fd < 0 && errno == ENOENT) {  // deleted between the two opens: create it again
          retry_reason = ENOENT;  // (each time, for a dangling link that we follow)
          continue;
        }
      }
    } else {
      fd = OpenNoHang(path, flags | O_CLOEXEC, &used);
    }
    if (fd < 0) return Fail(errno);

    struct stat mine;
    if (int err = CheckRegular(fd, (rules & kLockOnly) ? 0 : used, &mine)) {
      CloseFd(fd);
      return Fail(err);
    }
    if (lock != Lock::kNone) {
      if (int err = TakeLock(fd, lock)) {
        CloseFd(fd);
        return IsConflict(err) ? SharingViolation(err) : Fail(err);
      }
      struct stat named;
      const bool look = !(rules & kNamedLater) && !(created && (rules & kMadeIsOurs));
      int rc = 0;
      if (look) rc = (rules & kNoFinalLink) ? Sys().lstat(path.c_str(), &named) : Sys().stat(path.c_str(), &named);
      if (look && (rc != 0 || !SameFile(mine, named))) {
        CloseFd(fd);  // unlinked or replaced while we locked: the lock guards nothing, try again
        retry_reason = EAGAIN;
        continue;
      }
      // A file this open made has no other spelling: the share refuses an exclusive create of a
      // name it holds in any case.
      std::string listed = share && !created ? OtherSpelling(path) : std::string();
      if (!listed.empty()) {
        CloseFd(fd);  // the holders, if any, hold it under the listed spelling
        path = listed;
        retry_reason = EAGAIN;
        continue;
      }
    }
    out->fd = fd;
    out->existed = !created;
    out->st = mine;
    out->path = path;
    return Status::Ok();
  }
  // The name kept changing under us: someone is busy replacing the file.
  return retry_reason == EAGAIN ? SharingViolation(EAGAIN) : Fail(retry_reason);
}

}  // namespace miradel::platform::posix
