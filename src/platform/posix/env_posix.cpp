// The POSIX adapter: Windows file semantics, as the locks rely on them, emulated on Linux.
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64  // the sharing byte sits far beyond what a 32-bit off_t reaches
#endif

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/sendfile.h>
#include <sys/vfs.h>
#endif

#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/text.h"

#include "platform/env.h"
#include "platform/handle_table.h"

#ifndef F_OFD_SETLK
#error "The POSIX adapter needs open-file-description locks (F_OFD_SETLK, Linux 3.15 or later)."
#endif

namespace miradel::platform {

namespace {

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
//  * An open file cannot be unlinked (EBUSY): the server refuses while anyone has it open. A
//    deleter then closes and unlinks again. No guard is needed for that window: a taker that locks
//    the file in it holds the file open, so the second unlink fails the same way and the file stays.
//  * Names are case-insensitive, but each spelling of a path is an inode of its own to our kernel,
//    so locks taken through pump.lck and PUMP.LCK never meet. Files that take a lock are opened
//    under the spelling the directories list, and after locking we check that the listing still
//    names the file as we opened it (it cannot change while we hold it open, see above).
//  * A write-only descriptor cannot be truncated with SMB3 (EIO after seconds, truncated anyway):
//    writers are opened for reading as well.
//  * Nor can an open file be renamed, or renamed over (EBUSY). The client renames over a file by
//    deleting it and then renaming: with the source still open the target is gone and the rename
//    fails. ReplaceWithCopy closes its copy before it renames, and keeps it when the target went.
//  * The server stamps a written file with the time of its close, and a time set without the
//    access time becomes "now": a copy's times are set by name, after its close, with both times.
// ---------------------------------------------------------------------------------------------------
constexpr off_t kShareByte = static_cast<off_t>(0x7ffffffffffffff0LL);
constexpr int kOpenAttempts = 8;

enum class Lock { kNone, kShared, kExclusive };

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

std::string Trim(const char* text) {
  std::string s = text ? text : "";
  std::size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  std::size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// strerror_r comes in two flavours; overloads pick whichever the C library declares.
[[maybe_unused]] const char* StrerrorResult(int rc, const char* buf) { return rc == 0 ? buf : nullptr; }
[[maybe_unused]] const char* StrerrorResult(const char* text, const char*) { return text; }

std::string SystemText(long code) {
  if (code < INT_MIN || code > INT_MAX) return "Unknown error " + std::to_string(code);
  char buf[256];
  buf[0] = 0;
  const char* text = StrerrorResult(strerror_r(static_cast<int>(code), buf, sizeof buf), buf);
  std::string s = Trim(text);
  return s.empty() ? "Unknown error " + std::to_string(code) : s;
}

ErrorKind KindOf(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return ErrorKind::kNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:  // a directory opened or deleted as a file: Windows says "access denied"
      return ErrorKind::kAccessDenied;
    case EEXIST:
      return ErrorKind::kAlreadyExists;
    default:
      return ErrorKind::kOther;
  }
}

Status Fail(int err) { return Status::Error(KindOf(err), err, SystemText(err)); }
Status Fail(ErrorKind kind, int err) { return Status::Error(kind, err, SystemText(err)); }
Status SharingViolation(int err) { return Fail(ErrorKind::kSharingViolation, err); }

bool HasWriteBits(mode_t mode) { return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0; }

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

void CloseFd(int fd) {
  int saved = errno;
  ::close(fd);  // never retried: on Linux the descriptor is gone even after EINTR
  errno = saved;
}

// The system reads a path up to its first null: a name with one inside would reach another file.
bool BadPath(const std::string& path) { return path.find('\0') != std::string::npos; }

// ------------------------------------------------------------------------------------------------
// Names without regard to case.

// The entries of recently searched directories, by folded name, so that creating a model's files one
// after another does not read the whole destination directory again for each of them.
//
// An entry is trusted while the directory's inode and change time are what they were when it was
// read. A file this process creates is added to the entry at once, with the directory's new time;
// a name another process creates in the same microseconds goes unseen until the next change. On a
// case-sensitive disk that could let a second spelling of one name be made; the host's own file
// systems (and the shares) fold names themselves, so there nothing depends on this cache.
class FoldedNames {
 public:
  // The entry of dir that equals name without regard to case (the smallest one when several do, so
  // the answer does not depend on directory order); empty when there is none.
  std::string Find(const std::string& dir, const std::string& name) {
    const std::string d = dir.empty() ? "." : dir;
    struct stat st;
    if (::stat(d.c_str(), &st) != 0) return std::string();
    return Find(d, st, name);
  }
  // The same with the directory's status already read.
  std::string Find(const std::string& dir, const struct stat& st, const std::string& name) {
    const std::string& d = dir;
    std::lock_guard<std::mutex> g(mu_);
    // Few directories are worked in at a time; forget the others.
    if (entries_.size() >= 16 && entries_.find(d) == entries_.end()) entries_.clear();
    Entry& e = entries_[d];
    if (!e.valid || !Same(e, st)) Read(st, d, &e);
    auto it = e.names.find(Fold(name));
    return it == e.names.end() ? std::string() : it->second;
  }

  // A name this process has just created in dir.
  void Created(const std::string& dir, const std::string& name) { Changed(dir, std::string(), name); }
  // A rename within dir this process has just made: a write-back of many new files then reads the
  // directory once, not once a file. (Were two spellings of `from` listed, the other is forgotten
  // with it: it would be missed until the next change, as a stranger's new name is.)
  void Renamed(const std::string& dir, const std::string& from, const std::string& to) { Changed(dir, from, to); }

 private:
  struct Entry {
    bool valid = false;
    dev_t dev = 0;
    ino_t ino = 0;
    struct timespec mtime = {};
    std::unordered_map<std::string, std::string> names;
  };
  static std::string Fold(const std::string& s) { return text::LowerCase(s); }
  void Changed(const std::string& dir, const std::string& gone, const std::string& name) {
    const std::string d = dir.empty() ? "." : dir;
    std::lock_guard<std::mutex> g(mu_);
    auto it = entries_.find(d);
    if (it == entries_.end() || !it->second.valid) return;
    struct stat st;
    if (::stat(d.c_str(), &st) != 0) {
      it->second.valid = false;
      return;
    }
    Entry& e = it->second;
    if (!gone.empty()) {
      auto was = e.names.find(Fold(gone));
      if (was != e.names.end() && was->second == gone) e.names.erase(was);
    }
    std::string& known = e.names[Fold(name)];
    if (known.empty() || name < known) known = name;
    e.ino = st.st_ino;
    e.dev = st.st_dev;
    e.mtime = st.st_mtim;
  }
  static bool Same(const Entry& e, const struct stat& st) {
    return e.dev == st.st_dev && e.ino == st.st_ino && e.mtime.tv_sec == st.st_mtim.tv_sec &&
           e.mtime.tv_nsec == st.st_mtim.tv_nsec;
  }
  void Read(const struct stat& before, const std::string& dir, Entry* e) {
    e->names.clear();
    e->valid = false;
    DIR* h = ::opendir(dir.c_str());
    if (!h) return;
    while (struct dirent* d = ::readdir(h)) {
      std::string& known = e->names[Fold(d->d_name)];
      if (known.empty() || std::strcmp(d->d_name, known.c_str()) < 0) known = d->d_name;
    }
    ::closedir(h);
    // The time read before the listing: a change made while it was read shows as a newer time.
    e->dev = before.st_dev;
    e->ino = before.st_ino;
    e->mtime = before.st_mtim;
    e->valid = true;
  }

  std::mutex mu_;
  std::unordered_map<std::string, Entry> entries_;
};

FoldedNames& Folded() {
  static FoldedNames* names = new FoldedNames;  // never destroyed: used until the process ends
  return *names;
}

std::string ParentOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// The entry of dir named `name` as the directory lists it now: that very spelling if listed, else
// the smallest entry that equals it without regard to case (so the answer does not depend on
// directory order); empty when there is none. Read afresh: a lock rests on it.
std::string ListedName(const std::string& dir, const std::string& name) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return std::string();
  std::string best;
  while (struct dirent* e = ::readdir(d)) {
    if (name == e->d_name) {
      best = name;
      break;
    }
    if (text::EqualsNoCase(e->d_name, name) && (best.empty() || std::strcmp(e->d_name, best.c_str()) < 0))
      best = e->d_name;
  }
  ::closedir(d);
  return best;
}

// The path under which the file system knows `path`. When the exact path does not exist, each
// component is looked up without regard to case; from the first component that cannot be found on,
// the rest is kept as given, so a path for a file about to be created resolves its directories and
// keeps its own name (unless a file of that name in another case exists: then that one is meant).
std::string Resolve(const std::string& path) {
  struct stat st;
  if (path.empty() || ::lstat(path.c_str(), &st) == 0 || (errno != ENOENT && errno != ENOTDIR)) return path;

  // A new file in a directory that exists as named: only its own name needs looking up.
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash + 1 < path.size()) {
    const std::string parent = ParentOf(path);
    if (::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      std::string found = Folded().Find(parent, st, path.substr(slash + 1));
      return found.empty() ? path : path.substr(0, slash + 1) + found;
    }
  }

  std::string out = path[0] == '/' ? "/" : "";
  bool lost = false;
  std::size_t pos = 0;
  while (pos < path.size()) {
    std::size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    std::string comp = path.substr(pos, end - pos);
    pos = end + 1;
    if (comp.empty()) continue;
    const std::string exact = (out.empty() || out.back() == '/') ? out + comp : out + "/" + comp;
    if (!lost && ::lstat(exact.c_str(), &st) != 0) {
      std::string found = errno == ENOENT ? ListedName(out, comp) : std::string();
      if (found.empty())
        lost = true;
      else
        comp = found;
    }
    if (!out.empty() && out.back() != '/') out += '/';
    out += comp;
  }
  if (path.back() == '/' && (out.empty() || out.back() != '/')) out += '/';
  return out;
}

std::string BaseName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The directory part of a path: "." for a bare name, "/" for one in the root.
std::string DirName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  std::size_t end = path.rfind('/');
  if (end == std::string::npos) return ".";
  while (end > 0 && path[end - 1] == '/') --end;
  return end == 0 ? "/" : path.substr(0, end);
}

std::string Join(const std::string& dir, const std::string& name) {
  if (dir == ".") return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

// True for the file systems of network shares (see "Shares" above), asked once per device.
bool OnShare(dev_t dev, const std::string& path) {
#ifdef __linux__
  static std::mutex mu;
  static std::map<dev_t, bool>* known = new std::map<dev_t, bool>;  // never destroyed, as System()
  std::lock_guard<std::mutex> guard(mu);
  auto it = known->find(dev);
  if (it != known->end()) return it->second;
  struct statfs fs;
  if (::statfs(path.c_str(), &fs) != 0) return false;  // asked again next time
  bool share = false;
  switch (static_cast<std::uint32_t>(fs.f_type)) {
    case 0x65735546:  // FUSE, as user-space SMB clients are
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2
    case 0x517B:      // SMB
      share = true;
      break;
    default:
      break;
  }
  (*known)[dev] = share;
  return share;
#else
  (void)dev;
  (void)path;
  return false;
#endif
}

// On a share, `path` (resolved) with its directories spelled as their parents list them, up to the
// share's root; elsewhere `path` itself. *share tells which.
std::string ListedDirectories(const std::string& path, bool* share) {
  *share = false;
  std::string dir = DirName(path);
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0 || !OnShare(st.st_dev, dir)) return path;
  *share = true;
  const dev_t dev = st.st_dev;
  std::vector<std::string> listed;  // from the bottom up
  while (dir != "/" && dir != ".") {
    std::string parent = DirName(dir), name = BaseName(dir);
    if (name == "." || name == "..") break;  // the rest stays as given
    if (::stat(parent.c_str(), &st) != 0 || st.st_dev != dev) break;  // the share's root
    std::string found = ListedName(parent, name);
    listed.push_back(found.empty() ? name : found);
    dir = parent;
  }
  for (auto it = listed.rbegin(); it != listed.rend(); ++it) dir = Join(dir, *it);
  return Join(dir, BaseName(path));
}

// The status of path, looked up without regard to case only when the exact name is missing (one
// call for the common case); *resolved is the name it was found under. 0 or an errno.
FileTime TimeOf(std::int64_t seconds, long nanos) { return FileTime{seconds, static_cast<std::int32_t>(nanos), true}; }

int StatResolved(const std::string& path, std::string* resolved, struct stat* st) {
  *resolved = path;
  if (::stat(path.c_str(), st) == 0) return 0;
  if (errno != ENOENT && errno != ENOTDIR) return errno;
  *resolved = Resolve(path);
  return ::stat(resolved->c_str(), st) == 0 ? 0 : errno;
}

// ------------------------------------------------------------------------------------------------
// Opening with sharing.

struct Opened {
  int fd = -1;
  bool existed = false;
  struct stat st = {};  // of the opened file, read after it was opened
  std::string path;     // the name it was opened under (on shares: as listed)
};

enum class Create { kNo, kIfMissing, kOnlyNew };

// How a path is taken: OpenFile takes no final symbolic link and, on shares, the listed spelling;
// CopyFile follows links as the system's copy would, and lists nothing, to stay fast.
enum Rules : unsigned { kAsGiven = 0, kNoFinalLink = 1, kAsListed = 2 };

// Opens without waiting for a FIFO's other end. A regular file whose lease holder must first let it
// go refuses O_NONBLOCK with EWOULDBLOCK; that one is opened again, waiting as usual. *flags_used
// says which flags the descriptor was opened with. A file made with O_EXCL is new and ours: it needs
// no guard.
int OpenNoHang(const std::string& path, int flags, int* flags_used, mode_t mode = 0) {
  const bool fresh = (flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL);
  *flags_used = fresh ? flags : flags | O_NONBLOCK;
  int fd = OpenRetrying(path.c_str(), *flags_used, mode);
  if (fd < 0 && errno == EWOULDBLOCK && !fresh) fd = OpenRetrying(path.c_str(), *flags_used = flags, mode);
  return fd;
}

// 0 for a regular file, made blocking again; EISDIR for a directory (Windows says "access
// denied"); ENXIO for a FIFO, socket or device, as the system says for some of them.
int CheckRegular(int fd, int flags_used, struct stat* st) {
  if (::fstat(fd, st) != 0) return errno;
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

// Unlinks `path`, whose file fd holds locked, and closes fd. Where an open file cannot be unlinked
// it closes first and tries once more (see "Shares"). Returns 0 or an errno.
int UnlinkHeld(int fd, const std::string& path) {
  if (::unlink(path.c_str()) == 0) {
    CloseFd(fd);
    return 0;
  }
  int err = errno;
  CloseFd(fd);
  if (err != EBUSY) return err;
  // A FUSE client passes our close on to the server only after it returns: give it a moment. A
  // taker that opened the file meanwhile keeps it open, and so busy, through all of these tries.
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (::unlink(path.c_str()) == 0) return 0;
    if (errno != EBUSY) return errno;
    struct timespec pause = {0, 20 * 1000 * 1000};
    ::nanosleep(&pause, nullptr);
  }
  return EBUSY;
}

// Opens `path` (already resolved) and takes the lock its sharing calls for. Never truncates: the
// caller does that once the lock is held, or it would wipe a file that someone else holds.
Status OpenLocked(std::string path, int flags, Create create, Lock lock, unsigned rules, Opened* out) {
  bool share = false;
  if ((rules & kAsListed) && lock != Lock::kNone) path = ListedDirectories(path, &share);
  if (rules & kNoFinalLink) flags |= O_NOFOLLOW;
  int retry_reason = EAGAIN;
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    int fd = -1, used = 0;
    bool created = false;
    if (create != Create::kNo) {
      fd = OpenNoHang(path, flags | O_CREAT | O_EXCL | O_CLOEXEC, &used, 0666);
      created = fd >= 0;
      if (created) Folded().Created(ParentOf(path), BaseName(path));
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
    if (int err = CheckRegular(fd, used, &mine)) {
      CloseFd(fd);
      return Fail(err);
    }
    if (lock != Lock::kNone) {
      if (int err = TakeLock(fd, lock)) {
        CloseFd(fd);
        return IsConflict(err) ? SharingViolation(err) : Fail(err);
      }
      struct stat named;
      int rc = (rules & kNoFinalLink) ? ::lstat(path.c_str(), &named) : ::stat(path.c_str(), &named);
      if (rc != 0 || !SameFile(mine, named)) {
        CloseFd(fd);  // unlinked or replaced while we locked: the lock guards nothing, try again
        retry_reason = EAGAIN;
        continue;
      }
      std::string listed = share ? OtherSpelling(path) : std::string();
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

// ------------------------------------------------------------------------------------------------
// Copying.

constexpr std::size_t kChunk = 1 << 20;

bool CopyUnsupported(int err) {
  return err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == ENOTSUP;
}

// Copies the rest of in to out, both at their current offsets, with the kernel's copy where it can.
// Returns 0 or an errno.
int CopyData(int in, int out, std::uint64_t size) {
  std::uint64_t done = 0;
#ifdef __linux__
  bool kernel_copy = true;
  while (kernel_copy) {
    ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kChunk * 64, 0);
    if (n > 0) {
      done += static_cast<std::uint64_t>(n);
      continue;
    }
    if (n == 0) {
      if (done >= size) return 0;
      break;  // some file systems report nothing to copy where there is: go on by other means
    }
    if (errno == EINTR) continue;
    if (!CopyUnsupported(errno)) return errno;
    kernel_copy = false;
  }
  bool send = true;
  while (send) {
    ssize_t n = ::sendfile(out, in, nullptr, kChunk * 64);
    if (n > 0) {
      done += static_cast<std::uint64_t>(n);
      continue;
    }
    if (n == 0) {
      if (done >= size) return 0;
      break;
    }
    if (errno == EINTR) continue;
    if (!CopyUnsupported(errno)) return errno;
    send = false;
  }
#else
  (void)size;
  (void)done;
#endif
  std::vector<char> buf(kChunk);
  for (;;) {
    ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    const char* p = buf.data();
    std::size_t left = static_cast<std::size_t>(n);
    while (left > 0) {
      ssize_t w = ::write(out, p, left);
      if (w < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (w == 0) return EIO;
      p += w;
      left -= static_cast<std::size_t>(w);
    }
  }
}

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

// Gives a file src's last-write time, and makes it read-only when src is (with mode's other bits):
// through fd, or through the name when fd is -1 (on shares). The time goes first: a share's client
// clears the read-only attribute when it sets times; and given no access time, it writes "now" for
// both, so there the source's goes along. Returns 0 or an errno.
int Stamp(int fd, const std::string& path, const struct stat& sst, mode_t mode) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  if (fd < 0) times[0] = sst.st_atim;
  times[1] = sst.st_mtim;
  if ((fd >= 0 ? ::futimens(fd, times) : ::utimensat(AT_FDCWD, path.c_str(), times, 0)) != 0) return errno;
  if (HasWriteBits(sst.st_mode)) return 0;
  mode = mode & ~kWriteBits & 07777;
  return (fd >= 0 ? ::fchmod(fd, mode) : ::chmod(path.c_str(), mode)) == 0 ? 0 : errno;
}

// Fills dst (empty, at its start) with the rest of src and stamps it as src. Returns 0 or an errno.
int FillCopy(int src, const struct stat& sst, int dst, mode_t dst_mode) {
  if (int err = CopyData(src, dst, static_cast<std::uint64_t>(sst.st_size))) return err;
  return Stamp(dst, std::string(), sst, dst_mode);
}

int SyncFd(int fd) {
  while (::fsync(fd) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

// FillCopy, made durable. A share's server stamps a written file anew when it is closed: there the
// file is closed first (*fd becomes -1; a delayed write error is reported) and stamped by name.
int WriteCopy(int src, const struct stat& sst, int* fd, const std::string& path, mode_t mode, bool share) {
  int err = share ? CopyData(src, *fd, static_cast<std::uint64_t>(sst.st_size)) : FillCopy(src, sst, *fd, mode);
  if (err == 0) err = SyncFd(*fd);
  if (err != 0 || !share) return err;
  err = ::close(*fd) != 0 && errno != EINTR ? errno : 0;
  *fd = -1;
  return err != 0 ? err : Stamp(-1, path, sst, mode);
}

// Opens a file to copy from, under the name as given first: looking it up without regard to case
// costs a call or more for each file.
Status OpenSource(const std::string& from, Opened* src) {
  Status s = OpenLocked(from, O_RDONLY, Create::kNo, Lock::kNone, kAsGiven, src);
  if (s.code() == ENOENT || s.code() == ENOTDIR) {
    const std::string resolved = Resolve(from);
    if (resolved != from) s = OpenLocked(resolved, O_RDONLY, Create::kNo, Lock::kNone, kAsGiven, src);
  }
  return s;
}

// Takes an existing target of ReplaceWithCopy as an exclusive writer would, and refuses what
// CopyFile refuses. Ok with out->fd < 0 when there is none. A final link is refused, not followed:
// the rename would replace the link, not the file it names.
Status LockTarget(const std::string& path, const struct stat& source, Opened* out) {
  out->fd = -1;
  const unsigned rules = kNoFinalLink | kAsListed;
  Status s = OpenLocked(path, O_RDWR, Create::kNo, Lock::kExclusive, rules, out);  // O_RDWR: see "Shares"
  if (s.code() == EACCES) s = OpenLocked(path, O_WRONLY, Create::kNo, Lock::kExclusive, rules, out);
  if (s.code() == ENOENT) return Status::Ok();
  if (!s.ok()) return s;
  if (!HasWriteBits(out->st.st_mode)) s = Fail(EACCES);  // read-only, even for root
  else if (SameFile(source, out->st)) s = SharingViolation(EBUSY);  // Windows: in use by the copy itself
  if (!s.ok()) {
    CloseFd(out->fd);
    out->fd = -1;
  }
  return s;
}

// The temporary file of a replacement, held as an exclusive writer holds a file (a second writer of
// the same target is refused here) and emptied. A read-only one that a killed replacement left is
// made writable first.
Status OpenTemp(const std::string& path, Opened* out) {
  const unsigned rules = kNoFinalLink | kAsListed;
  Status s = OpenLocked(path, O_RDWR, Create::kIfMissing, Lock::kExclusive, rules, out);
  struct stat st;
  if (s.code() == EACCES && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0)
    s = OpenLocked(path, O_RDWR, Create::kIfMissing, Lock::kExclusive, rules, out);
  if (!s.ok()) return s;
  if (::ftruncate(out->fd, 0) != 0) {
    int err = errno;
    CloseFd(out->fd);
    return Fail(err);
  }
  return Status::Ok();
}

// Renames `from` over `to`, whose files *from_fd and *to_fd (-1: none) hold locked, and closes
// both on success. Where an open file cannot be renamed over (shares) it closes them (a delayed
// write error of *from_fd's file is reported) and tries a few more times, as UnlinkHeld does;
// EBUSY that persists means someone else has `to` open. Descriptors closed are set to -1.
int RenameHeld(const std::string& from, const std::string& to, int* from_fd, int* to_fd) {
  auto close_both = [&] {
    int err = 0;
    if (*from_fd >= 0 && ::close(*from_fd) != 0 && errno != EINTR) err = errno;
    if (*to_fd >= 0) CloseFd(*to_fd);
    *from_fd = *to_fd = -1;
    return err;
  };
  if (::rename(from.c_str(), to.c_str()) == 0) {
    close_both();  // the data was synced before: nothing is left to fail at this close
    return 0;
  }
  if (errno != EBUSY) return errno;
  if (int err = close_both()) return err;
  for (int attempt = 0; attempt < 10; ++attempt) {
    struct timespec pause = {0, 20 * 1000 * 1000};
    ::nanosleep(&pause, nullptr);
    if (::rename(from.c_str(), to.c_str()) == 0) return 0;
    if (errno != EBUSY) return errno;
  }
  return EBUSY;
}

// ------------------------------------------------------------------------------------------------

class PosixEnv final : public Env {
 public:
  Status OpenFile(const std::string& path, unsigned access, unsigned share, Disposition disp,
                  FileHandle* handle, bool* existed) override {
    if (existed) *existed = false;
    if (handle == nullptr) return Fail(EINVAL);
    *handle = kNoFile;
    if (BadPath(path)) return Fail(EINVAL);
    Lock lock = LockFor(access, share);
    // Writers read as well (see "Shares"), and a shared lock needs a descriptor open for reading.
    int flags = (access & kWrite) ? O_RDWR : O_RDONLY;
    Create create = disp == Disposition::kOpenExisting ? Create::kNo : Create::kIfMissing;
    const std::string p = Resolve(path);
    Opened o;
    Status s = OpenLocked(p, flags, create, lock, kNoFinalLink | kAsListed, &o);
    if (s.code() == EACCES && !(access & kRead) && lock != Lock::kShared)  // may write, not read
      s = OpenLocked(p, O_WRONLY, create, lock, kNoFinalLink | kAsListed, &o);
    if (!s.ok()) return s;
    if (o.existed && (access & kWrite)) {
      // The read-only attribute stops writers on Windows even for administrators; so here too.
      struct stat st;
      if (::fstat(o.fd, &st) == 0 && !HasWriteBits(st.st_mode)) {
        CloseFd(o.fd);
        return Fail(EACCES);
      }
    }
    if (disp == Disposition::kCreateAlways && o.existed && ::ftruncate(o.fd, 0) != 0) {
      int err = errno;
      CloseFd(o.fd);
      return Fail(err);
    }
    *handle = handles_.Add(o.fd);
    if (existed) *existed = o.existed;
    return Status::Ok();
  }

  Status Read(FileHandle h, void* buf, std::size_t n, std::size_t* got) override {
    std::size_t dummy = 0;
    if (got == nullptr) got = &dummy;
    *got = 0;
    int fd = FdOf(h);
    if (fd < 0) return Fail(EBADF);
    if (n == 0) return Status::Ok();
    if (buf == nullptr) return Fail(EINVAL);
    char* p = static_cast<char*>(buf);
    while (*got < n) {
      std::size_t want = n - *got;
      if (want > (std::size_t{1} << 30)) want = std::size_t{1} << 30;
      ssize_t r = ::read(fd, p + *got, want);
      if (r < 0) {
        if (errno == EINTR) continue;
        return Fail(errno);
      }
      if (r == 0) break;
      *got += static_cast<std::size_t>(r);
    }
    return Status::Ok();
  }

  Status Write(FileHandle h, const void* buf, std::size_t n) override {
    int fd = FdOf(h);
    if (fd < 0) return Fail(EBADF);
    if (n == 0) return Status::Ok();
    if (buf == nullptr) return Fail(EINVAL);
    const char* p = static_cast<const char*>(buf);
    while (n > 0) {
      std::size_t want = n > (std::size_t{1} << 30) ? std::size_t{1} << 30 : n;
      ssize_t w = ::write(fd, p, want);
      if (w < 0) {
        if (errno == EINTR) continue;
        return Fail(errno);
      }
      if (w == 0) return Fail(EIO);
      p += w;
      n -= static_cast<std::size_t>(w);
    }
    return Status::Ok();
  }

  Status Seek(FileHandle h, std::uint64_t offset) override {
    int fd = FdOf(h);
    if (fd < 0) return Fail(EBADF);
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) return Fail(EINVAL);
    if (::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) return Fail(errno);
    return Status::Ok();
  }

  Status Truncate(FileHandle h) override {
    int fd = FdOf(h);
    if (fd < 0) return Fail(EBADF);
    off_t pos = ::lseek(fd, 0, SEEK_CUR);
    if (pos < 0) return Fail(errno);
    while (::ftruncate(fd, pos) != 0) {
      if (errno != EINTR) return Fail(errno);
    }
    return Status::Ok();
  }

  Status Close(FileHandle h) override {
    std::intptr_t fd;
    if (!handles_.Remove(h, &fd)) return Fail(ErrorKind::kNotFound, EBADF);
    // Never retried: on Linux the descriptor is gone even after EINTR, which is no failure.
    if (::close(static_cast<int>(fd)) != 0 && errno != EINTR) return Fail(errno);
    return Status::Ok();
  }

  Status Flush(FileHandle h) override {
    int fd = FdOf(h);
    if (fd < 0) return Fail(EBADF);
    while (::fsync(fd) != 0) {
      if (errno != EINTR) return Fail(errno);
    }
    return Status::Ok();
  }

  Status CopyFile(const std::string& from, const std::string& to, bool overwrite) override {
    if (BadPath(from) || BadPath(to)) return Fail(EINVAL);
    Opened src;
    Status s = OpenSource(from, &src);
    if (!s.ok()) return s;
    const struct stat& sst = src.st;

    // The destination is written as an exclusive writer would, so that nobody holding it is
    // overwritten; the checks come after the lock so that they see the file we will write to.
    std::string dest = Resolve(to);
    Opened dst;
    const Create create = overwrite ? Create::kIfMissing : Create::kOnlyNew;
    s = OpenLocked(dest, O_RDWR, create, Lock::kExclusive, kAsGiven, &dst);  // O_RDWR: see "Shares"
    if (s.code() == EACCES) s = OpenLocked(dest, O_WRONLY, create, Lock::kExclusive, kAsGiven, &dst);
    if (!s.ok()) {
      CloseFd(src.fd);
      return s;
    }
    auto give_up = [&](const Status& st) {
      CloseFd(dst.fd);
      CloseFd(src.fd);
      return st;
    };
    const struct stat& dst_st = dst.st;
    if (dst.existed) {
      if (!HasWriteBits(dst_st.st_mode)) return give_up(Fail(EACCES));  // read-only, even for root
      if (SameFile(sst, dst_st)) return give_up(SharingViolation(EBUSY));  // Windows: in use by the copy itself
      if (::ftruncate(dst.fd, 0) != 0) return give_up(Fail(errno));
    }

    if (int err = FillCopy(src.fd, sst, dst.fd, dst_st.st_mode)) {
      // A half-written new copy is worse than none; we still hold it, so nobody else reads it. A file
      // that was there before stays, torn: it may be the only copy of a model's file.
      if (dst.existed) CloseFd(dst.fd);
      else UnlinkHeld(dst.fd, dest);
      CloseFd(src.fd);
      return Fail(err);
    }
    CloseFd(src.fd);
    if (::close(dst.fd) != 0 && errno != EINTR) return Fail(errno);  // delayed write errors (NFS, SMB)
    return Status::Ok();
  }

  // The copy goes into a temporary file beside the target, synced, and is renamed over the target
  // while we hold the target as an exclusive writer (from before the copy, so that a holder is
  // refused before the data moves). Only rename is one step: the target is never emptied.
  Status ReplaceWithCopy(const std::string& from, const std::string& to) override {
    if (BadPath(from) || BadPath(to)) return Fail(EINVAL);
    Opened src;
    Status s = OpenSource(from, &src);
    if (!s.ok()) return s;
    bool share = false;
    std::string target = ListedDirectories(Resolve(to), &share);
    Opened dst, tmp;
    s = LockTarget(target, src.st, &dst);
    if (s.ok() && dst.fd >= 0) target = dst.path;  // the spelling the directory lists, which the file keeps
    const std::string temp = Join(DirName(target), ReplacementTempName(BaseName(target)));
    if (s.ok()) s = OpenTemp(temp, &tmp);
    if (!s.ok()) {
      if (dst.fd >= 0) CloseFd(dst.fd);
      CloseFd(src.fd);
      return s;
    }
    auto abandon = [&](const Status& st) {
      if (tmp.fd >= 0) UnlinkHeld(tmp.fd, temp);
      else ::unlink(temp.c_str());  // on a share, fails while someone took it since: theirs now
      if (dst.fd >= 0) CloseFd(dst.fd);
      CloseFd(src.fd);
      return st;
    };

    // The target's permissions, where the file system keeps them; a failure here costs nothing else.
    const mode_t mode = (dst.fd >= 0 ? dst.st.st_mode : tmp.st.st_mode | S_IWUSR) & 07777;
    if (mode != (tmp.st.st_mode & 07777)) (void)::fchmod(tmp.fd, mode);
    if (int err = WriteCopy(src.fd, src.st, &tmp.fd, temp, mode, share)) return abandon(Fail(err));
    struct stat named;
    if (dst.fd < 0) {
      // None at the start: one made meanwhile is held and checked as above.
      if (!(s = LockTarget(target, src.st, &dst)).ok()) return abandon(s);
      if (dst.fd >= 0) target = dst.path;
    } else if (::lstat(target.c_str(), &named) != 0 || !SameFile(named, dst.st)) {
      return abandon(SharingViolation(EAGAIN));  // replaced by one who does not lock
    }
    const bool had_target = dst.fd >= 0;
    int err = RenameHeld(temp, target, &tmp.fd, &dst.fd);
    if (err == 0) {
      Folded().Renamed(ParentOf(target), BaseName(temp), BaseName(target));
      CloseFd(src.fd);
      // The server may have taken our close after the stamp; it has now (an open file is not
      // renamed there). The data is in place whatever this meets.
      if (share) (void)Stamp(-1, target, src.st, mode);
      return Status::Ok();
    }
    if (err != EBUSY) {
      // A share's client that deleted the target before its rename failed (the share went) leaves
      // the copy as the only whole file: it stays.
      if (had_target && ::lstat(target.c_str(), &named) != 0 && errno == ENOENT) {
        CloseFd(src.fd);
        return Fail(err);
      }
      return abandon(Fail(err));
    }

    // Someone else has the target open, and the share will not replace an open file: written in
    // place as CopyFile does, which may tear it when the share fails but never deletes it. The
    // server may take our close after the stamp and give the file its own time: nothing waits for it.
    s = LockTarget(target, src.st, &dst);
    if (s.ok() && dst.fd < 0) {
      // Gone since: the share's client renames over a file by deleting it first and then renaming,
      // which fails while the server still has our copy open. The copy takes its place after all;
      // where even that fails, it stays, the only whole file left.
      err = RenameHeld(temp, target, &tmp.fd, &dst.fd);
      CloseFd(src.fd);
      return err == 0 ? Status::Ok() : Fail(err);
    }
    if (!s.ok()) return abandon(s);
    ::unlink(temp.c_str());
    err = ::ftruncate(dst.fd, 0) == 0 && ::lseek(src.fd, 0, SEEK_SET) == 0 ? 0 : errno;
    if (err == 0) err = WriteCopy(src.fd, src.st, &dst.fd, target, dst.st.st_mode, share);
    CloseFd(src.fd);
    if (dst.fd < 0) return err == 0 ? Status::Ok() : Fail(err);
    if (err != 0) {
      CloseFd(dst.fd);
      return Fail(err);
    }
    if (::close(dst.fd) != 0 && errno != EINTR) return Fail(errno);
    return Status::Ok();
  }

  Status DeleteFile(const std::string& path) override {
    if (BadPath(path)) return Fail(EINVAL);
    bool share = false;
    std::string p = ListedDirectories(Resolve(path), &share);
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
      // An exclusive lock meets every holder's lock; it needs a descriptor open for writing.
      Lock lock = Lock::kExclusive;
      int used = 0;
      int fd = OpenNoHang(p, O_RDWR | O_CLOEXEC | O_NOFOLLOW, &used);
      if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS || errno == ETXTBSY)) {
        // We may not write it (whether we may delete it is the directory's business). A shared lock
        // still keeps us off a held file, but lets two such deleters pass together; no release of
        // ours deletes this way, as a lock's holder can always write its lock file.
        lock = Lock::kShared;
        fd = OpenNoHang(p, O_RDONLY | O_CLOEXEC | O_NOFOLLOW, &used);
      }
      if (fd < 0) {
        int err = errno;
        struct stat named;
        if (err == ELOOP || err == ENXIO) {
          // A symbolic link or a socket: nobody can hold those, and the name itself goes.
          if (::lstat(p.c_str(), &named) == 0 && !S_ISDIR(named.st_mode) && !S_ISREG(named.st_mode))
            return ::unlink(p.c_str()) == 0 ? Status::Ok() : Fail(errno);
        }
        // We may not read it either, so we cannot ask about its lock; nobody we could see holds it.
        if (err == EACCES) return ::unlink(p.c_str()) == 0 ? Status::Ok() : Fail(errno);
        return Fail(err);
      }
      struct stat mine;
      // This descriptor only takes the lock: it may stay non-blocking.
      if (int err = CheckRegular(fd, 0, &mine)) {
        CloseFd(fd);
        if (err != ENXIO) return Fail(err);
        return ::unlink(p.c_str()) == 0 ? Status::Ok() : Fail(errno);  // a FIFO or device
      }
      // Windows refuses to delete a read-only file, whoever asks.
      if (!HasWriteBits(mine.st_mode)) {
        CloseFd(fd);
        return Fail(EACCES);
      }
      if (int err = TakeLock(fd, lock)) {
        CloseFd(fd);
        return IsConflict(err) ? SharingViolation(err) : Fail(err);
      }
      struct stat named;
      if (::lstat(p.c_str(), &named) != 0 || !SameFile(mine, named)) {
        CloseFd(fd);  // someone deleted or replaced it since we opened it: look again
        continue;
      }
      std::string listed = share ? OtherSpelling(p) : std::string();
      if (!listed.empty()) {
        CloseFd(fd);
        p = listed;
        continue;
      }
      int err = UnlinkHeld(fd, p);
      if (err == 0) return Status::Ok();
      return err == EBUSY ? SharingViolation(err) : Fail(err);  // someone else has it open
    }
    return SharingViolation(EAGAIN);
  }

  Status Rename(const std::string& from, const std::string& to) override {
    if (BadPath(from) || BadPath(to)) return Fail(EINVAL);
    const std::string f = Resolve(from), t = Resolve(to);
    if (::rename(f.c_str(), t.c_str()) != 0) return Fail(errno);
    if (ParentOf(f) == ParentOf(t)) Folded().Renamed(ParentOf(t), BaseName(f), BaseName(t));
    else Folded().Created(ParentOf(t), BaseName(t));
    return Status::Ok();
  }

  Status CreateDirectory(const std::string& path) override {
    if (BadPath(path)) return Fail(EINVAL);
    const std::string p = Resolve(path);
    if (::mkdir(p.c_str(), 0777) != 0) return Fail(errno);
    Folded().Created(ParentOf(::miradel::path::WithoutTrailingSeparators(p)), BaseName(p));
    return Status::Ok();
  }

  Status RemoveDirectory(const std::string& path) override {
    if (BadPath(path)) return Fail(EINVAL);
    if (::rmdir(Resolve(path).c_str()) != 0) return Fail(errno);
    return Status::Ok();
  }

  Status GetFileInfo(const std::string& path, FileInfo* info) override {
    if (info == nullptr) return Fail(EINVAL);
    *info = FileInfo();
    if (BadPath(path)) return Fail(EINVAL);
    std::string p;
    struct stat st;
    if (int err = StatResolved(path, &p, &st)) return Fail(err);
    info->is_directory = S_ISDIR(st.st_mode);
    info->read_only = !HasWriteBits(st.st_mode);
    std::string name = BaseName(p);
    info->hidden = name.size() > 1 && name[0] == '.' && name != "..";
    info->size = info->is_directory ? 0 : static_cast<std::uint64_t>(st.st_size);
    info->mtime = TimeOf(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    info->access = TimeOf(st.st_atim.tv_sec, st.st_atim.tv_nsec);
    // Creation: the birth time where statx reports one (ext4, btrfs, xfs, SMB and others); else, on
    // older kernels or file systems without it, the last status change, the nearest POSIX keeps.
    info->creation = TimeOf(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
#ifdef STATX_BTIME
    struct statx sx;
    if (::statx(AT_FDCWD, p.c_str(), AT_STATX_SYNC_AS_STAT, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME)) {
      info->creation = TimeOf(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
    }
#endif
    return Status::Ok();
  }

  Status SetReadOnly(const std::string& path, bool read_only) override {
    if (BadPath(path)) return Fail(EINVAL);
    std::string p;
    struct stat st;
    if (int err = StatResolved(path, &p, &st)) return Fail(err);
    mode_t mode = st.st_mode & 07777;
    mode = read_only ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    if (mode != (st.st_mode & 07777) && ::chmod(p.c_str(), mode) != 0) return Fail(errno);
    return Status::Ok();
  }

  bool CanEnterDirectory(const std::string& path) override {
    if (BadPath(path)) return false;
    std::string p = Resolve(path);
    struct stat st;
    if (::stat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    DIR* d = ::opendir(p.c_str());
    if (!d) return false;
    ::closedir(d);
    return true;
  }

  Status FindFiles(const std::string& dir, const std::string& pattern, std::vector<DirEntry>* out) override {
    if (out == nullptr) return Fail(EINVAL);
    out->clear();
    if (BadPath(dir) || BadPath(pattern)) return Fail(EINVAL);
    std::string d = Resolve(dir.empty() ? std::string(".") : dir);
    DIR* h = ::opendir(d.c_str());
    if (!h) return Fail(errno);
    if (!d.empty() && d.back() != '/') d += '/';
    while (struct dirent* e = ::readdir(h)) {
      if (!WildcardMatch(pattern, e->d_name)) continue;
      DirEntry entry;
      entry.name = e->d_name;
      if (e->d_type == DT_DIR) {
        entry.is_directory = true;
      } else if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
        struct stat st;
        entry.is_directory = ::stat((d + entry.name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        entry.is_link = e->d_type == DT_LNK ||
                        (::lstat((d + entry.name).c_str(), &st) == 0 && S_ISLNK(st.st_mode));
      }
      out->push_back(std::move(entry));
    }
    ::closedir(h);
    if (out->empty()) return Fail(ENOENT);
    return Status::Ok();
  }

  Status GetCurrentDirectory(std::string* dir) override {
    if (dir == nullptr) return Fail(EINVAL);
    dir->clear();
    std::vector<char> buf(PATH_MAX);
    while (::getcwd(buf.data(), buf.size()) == nullptr) {
      if (errno != ERANGE || buf.size() > (std::size_t{1} << 20)) return Fail(errno);
      buf.resize(buf.size() * 2);
    }
    *dir = buf.data();
    return Status::Ok();
  }

  Status SetCurrentDirectory(const std::string& dir) override {
    if (BadPath(dir)) return Fail(EINVAL);
    if (::chdir(Resolve(dir).c_str()) != 0) return Fail(errno);
    return Status::Ok();
  }

  std::string TempPath() override {
    const char* tmp = std::getenv("TMPDIR");
    std::string p = (tmp && *tmp) ? tmp : "/tmp";
    if (p.back() != '/') p += '/';
    return p;
  }

  // /tmp is shared by every user: working copies of models go into a folder of the user's own,
  // made 0700. One that someone else made, or that is a link, is never used; a fresh private one
  // takes its place.
  std::string UserTempPath() override {
    const std::string base = TempPath();
    const std::string path = base + "miradel-" + std::to_string(::geteuid());
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return base;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()) {
      if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) return base;
      return path + "/";
    }
    std::string pattern = path + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    if (::mkdtemp(buf.data()) == nullptr) return base;
    return std::string(buf.data()) + "/";
  }

  std::string ExecutablePath() override {
    std::vector<char> buf(PATH_MAX);
    for (;;) {
      ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
      if (n < 0) return std::string();
      if (static_cast<std::size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<std::size_t>(n));
      if (buf.size() > (std::size_t{1} << 20)) return std::string();
      buf.resize(buf.size() * 2);
    }
  }

  Status UserName(std::string* name) override {
    if (name == nullptr) return Fail(EINVAL);
    name->clear();
    long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(hint > 0 ? static_cast<std::size_t>(hint) : 1024);
    struct passwd pw;
    struct passwd* found = nullptr;
    int rc;
    while ((rc = ::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found)) == ERANGE &&
           buf.size() < (std::size_t{1} << 20))
      buf.resize(buf.size() * 2);
    if (rc == 0 && found && found->pw_name && *found->pw_name) {
      *name = found->pw_name;
      return Status::Ok();
    }
    // Containers often run as a user the password database does not know.
    for (const char* var : {"USER", "LOGNAME"}) {
      const char* v = std::getenv(var);
      if (v && *v) {
        *name = v;
        return Status::Ok();
      }
    }
    return Fail(rc != 0 ? rc : ENOENT);
  }

  Status ComputerName(std::string* name) override {
    if (name == nullptr) return Fail(EINVAL);
    name->clear();
    char buf[256];
    if (::gethostname(buf, sizeof buf) != 0) return Fail(errno);
    buf[sizeof buf - 1] = 0;
    std::string host = buf;
    std::size_t dot = host.find('.');
    if (dot != std::string::npos) host.resize(dot);
    if (host.empty()) return Fail(ENOENT);
    *name = host;
    return Status::Ok();
  }

  std::string ErrorText(long code) override { return SystemText(code); }

  Status FreeSpace(const std::string& dir, std::uint64_t* bytes) override {
    struct statvfs vfs;
    if (::statvfs(dir.c_str(), &vfs) != 0) return Fail(errno);
    *bytes = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    return Status::Ok();
  }

 private:
  int FdOf(FileHandle h) const {
    std::intptr_t fd;
    return handles_.Get(h, &fd) ? static_cast<int>(fd) : -1;
  }

  // Handle values are never reused, so a stale copy of a closed handle cannot reach (or close, and
  // so unlock) a file opened later under the same descriptor number.
  HandleTable handles_;
};

}  // namespace

void PinLibrary() {
  Dl_info info;
  if (::dladdr(reinterpret_cast<void*>(&PinLibrary), &info) == 0 || !info.dli_fname) return;
  // Inside a program rather than a shared library this finds the program, which stays anyway.
  ::dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

void PauseServingWindows(std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); }

void Diagnostic(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

// File names are bytes here, and UTF-8 in every locale we run in.
bool FromUtf8(const std::string& utf8, std::string* name) {
  *name = utf8;
  return true;
}

bool LocalTime(std::int64_t unix_seconds, std::tm* out) {
  const time_t t = static_cast<time_t>(unix_seconds);
  if (static_cast<std::int64_t>(t) != unix_seconds) return false;
  return ::localtime_r(&t, out) != nullptr;
}

Env& System() {
  // Never destroyed: objects torn down at unload or exit may still close files through it.
  static Env* env = WithContext(new PosixEnv);
  return *env;
}

}  // namespace miradel::platform
