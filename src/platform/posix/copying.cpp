// Copying a file with the kernel's copy, keeping its time and read-only attribute, made durable.
#include "platform/posix/copying.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include "platform/posix/names.h"

namespace miradel::platform::posix {

namespace {

constexpr std::size_t kChunk = 1 << 20;

bool CopyUnsupported(int err) {
  return err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == ENOTSUP;
}

#ifdef __linux__
// Runs one kind of kernel copy (call moves up to a count of bytes from in to out) until the data
// is copied (0), the kind is not supported here or reports nothing left short of size (-1: go on
// by other means), or it fails (an errno). done counts the bytes copied so far.
template <class Call>
int KernelCopy(Call call, std::uint64_t size, std::uint64_t& done) {
  for (;;) {
    const ssize_t n = call(kChunk * 64);
    if (n > 0) {
      done += static_cast<std::uint64_t>(n);
      // All it had when we looked: no call more to learn of its end, a round trip on a share. One
      // that grows meanwhile is being written, and its writer queues it again.
      if (done >= size) return 0;
    } else if (n == 0) {
      // Some file systems report nothing to copy where there is.
      return done >= size ? 0 : -1;
    } else if (errno != EINTR) {
      return CopyUnsupported(errno) ? -1 : errno;
    }
  }
}
#endif

// Copies the rest of in to out, both at their current offsets, with the kernel's copy where it can.
// Returns 0 or an errno.
int CopyData(int in, int out, std::uint64_t size) {
#ifdef __linux__
  std::uint64_t done = 0;
  int r = KernelCopy([&](std::size_t count) { return ::copy_file_range(in, nullptr, out, nullptr, count, 0); },
                     size, done);
  if (r < 0) r = KernelCopy([&](std::size_t count) { return ::sendfile(out, in, nullptr, count); }, size, done);
  if (r >= 0) return r;
#else
  (void)size;
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

}  // namespace

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

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

int FillCopy(int src, const struct stat& sst, int dst, mode_t dst_mode) {
  if (int err = CopyData(src, dst, static_cast<std::uint64_t>(sst.st_size))) return err;
  return Stamp(dst, std::string(), sst, dst_mode);
}

int SyncFd(int fd) {
  while (Sys().fsync(fd) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

int WriteCopy(int src, const struct stat& sst, int* fd, const std::string& path, mode_t mode, bool share,
              bool sync) {
  int err = share ? CopyData(src, *fd, static_cast<std::uint64_t>(sst.st_size)) : FillCopy(src, sst, *fd, mode);
  if (err == 0 && (sync || share)) err = SyncFd(*fd);
  if (err != 0 || !share) return err;
  err = Sys().close(*fd) != 0 && errno != EINTR ? errno : 0;
  *fd = -1;
  return err != 0 ? err : Stamp(-1, path, sst, mode);
}

Status OpenSource(const std::string& from, Opened* src) {
  Status s = OpenLocked(from, O_RDONLY, Create::kNo, Lock::kNone, kAsGiven, src);
  if (s.code() == ENOENT || s.code() == ENOTDIR) {
    const std::string resolved = Resolve(from);
    if (resolved != from) s = OpenLocked(resolved, O_RDONLY, Create::kNo, Lock::kNone, kAsGiven, src);
  }
  return s;
}

Status LockTarget(const std::string& path, const struct stat& source, bool share, Opened* out, bool lock_only) {
  out->fd = -1;
  const unsigned rules = kNoFinalLink | (share ? kListedShare : kAsGiven) | (lock_only ? kLockOnly | kNamedLater : 0);
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

namespace {
// The process's umask as the kernel reports it (Linux 4.7 on), or -1. Read, never set and set back,
// which would give another thread's new file the wrong one.
int CurrentUmask() {
  const int fd = OpenRetrying("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char buf[4096];
  const ssize_t n = ::read(fd, buf, sizeof buf - 1);
  CloseFd(fd);
  if (n <= 0) return -1;
  buf[n] = 0;
  const char* line = std::strstr(buf, "\nUmask:");
  if (!line) return -1;
  char* end = nullptr;
  const long mask = std::strtol(line + 7, &end, 8);
  return end != line + 7 && mask >= 0 && mask <= 0777 ? static_cast<int>(mask) : -1;
}
}  // namespace

Status OpenTemp(const std::string& path, bool share, Opened* out, bool record, const struct stat* target) {
  // Beside a target, a new one is made with the target's permissions, and known without a look at
  // it: a regular file on the target's device, with those permissions less the umask.
  const int mask = target ? CurrentUmask() : -1;
  if (mask >= 0) {
    const mode_t mode = target->st_mode & 07777;
    const int fd = OpenRetrying(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) return Fail(errno);
    if (fd >= 0) {
      if (int err = TakeLock(fd, Lock::kExclusive)) {  // another replacement has it already: theirs
        CloseFd(fd);
        return IsConflict(err) ? SharingViolation(err) : Fail(err);
      }
      if (record) FoldedCreated(ParentOf(path), BaseName(path));
      *out = Opened{fd, false, *target, path};
      out->st.st_mode = S_IFREG | (mode & ~static_cast<mode_t>(mask));
      out->st.st_size = 0;
      return Status::Ok();
    }
  }
  const unsigned rules =
      kNoFinalLink | kMadeIsOurs | (share ? kListedShare : kAsGiven) | (record ? 0u : unsigned{kUnrecorded});
  Status s = OpenLocked(path, O_RDWR, Create::kIfMissing, Lock::kExclusive, rules, out);
  struct stat st;
  if (s.code() == EACCES && Sys().lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0)
    s = OpenLocked(path, O_RDWR, Create::kIfMissing, Lock::kExclusive, rules, out);
  if (!s.ok()) return s;
  if (out->existed && ::ftruncate(out->fd, 0) != 0) {
    int err = errno;
    CloseFd(out->fd);
    return Fail(err);
  }
  return Status::Ok();
}

int RenameHeld(const std::string& from, const std::string& to, int* from_fd, int* to_fd, bool share) {
  auto close_both = [&] {
    int err = 0;
    if (*from_fd >= 0 && Sys().close(*from_fd) != 0 && errno != EINTR) err = errno;
    if (*to_fd >= 0) CloseFd(*to_fd);
    *from_fd = *to_fd = -1;
    return err;
  };
  if (!share) {
    if (Sys().rename(from.c_str(), to.c_str()) == 0) {
      close_both();  // the data was synced before: nothing is left to fail at this close
      return 0;
    }
    if (errno != EBUSY) return errno;
  }
  if (int err = close_both()) return err;
  // Not giving way: a replacement that gives up here is written in place, which a failing share can
  // tear.
  return RetryWhileBusy([&] { return Sys().rename(from.c_str(), to.c_str()); }, false);
}

namespace {
std::mutex last_local_mu;
Folder* last_local = new Folder;  // never destroyed, as System()
}  // namespace

bool RecalledLocalFolder(const std::string& given, Folder* out) {
  std::lock_guard<std::mutex> guard(last_local_mu);
  if (last_local->given.empty() || last_local->given != given) return false;
  *out = *last_local;
  return true;
}

void RecallLocalFolder(const Folder& folder) {
  std::lock_guard<std::mutex> guard(last_local_mu);
  *last_local = folder;
}

// The copy goes into a temporary file beside the target, synced, and is renamed over the target
// while we hold the target as an exclusive writer (from before the copy, so that a holder is
// refused before the data moves). Only rename is one step: the target is never emptied.
Status Replacement::Prepare(const std::string& from, const std::string& to, bool flush,
                            const Replacement* before) {
  if (BadPath(from) || BadPath(to)) return Fail(EINVAL);
  Status s = OpenSource(from, &m_src);
  if (!s.ok()) return s;
  // The folder the file before it in a run was found in, a moment ago, is taken as it was: on a
  // share that saves a listing of it and of each folder above it. Off a share, that of the last
  // replacement of any run: the disk keeps no other spelling of it. Either holds while the target
  // is found there, on the device it was found on (a share mounted over it since has another).
  Folder known;
  const bool reused = before && !before->m_folder.given.empty() && before->m_folder.given == DirName(to)
                          ? (known = before->m_folder, true)
                          : RecalledLocalFolder(DirName(to), &known);
  if (reused) {
    m_share = known.share;
    s = LockTarget(m_target = Join(known.listed, BaseName(to)), m_src.st, m_share, &m_dst, true);
    if (!s.ok()) return s;
  }
  if (!reused || m_dst.fd < 0 || m_dst.st.st_dev != known.dev) {
    if (m_dst.fd >= 0) CloseFd(m_dst.fd);
    Device device;
    m_target = ListedDirectories(Resolve(to, &device), &m_share, &device);
    if (!(s = LockTarget(m_target, m_src.st, m_share, &m_dst, true)).ok()) return s;
  }
  m_folder = {DirName(to), DirName(m_target), m_share, 0};
  if (m_dst.fd >= 0) m_target = m_dst.path;  // the spelling the directory lists, which the file keeps
  m_temp = Join(DirName(m_target), ReplacementTempName(BaseName(m_target)));
  // Replacing a file leaves its directory's names as they were: the cache of them is not told of
  // the temporary file (a stat of the directory each time) and learns of the change at its next use.
  m_recorded = m_dst.fd < 0;
  if (!(s = OpenTemp(m_temp, m_share, &m_tmp, m_recorded, m_dst.fd >= 0 ? &m_dst.st : nullptr)).ok()) return s;
  m_temp_ours = true;
  m_folder.dev = m_tmp.st.st_dev;
  if (!m_share) RecallLocalFolder(m_folder);
  // The target's permissions, where the file system keeps them; a failure here costs nothing else.
  m_mode = (m_dst.fd >= 0 ? m_dst.st.st_mode : m_tmp.st.st_mode | S_IWUSR) & 07777;
  if (m_mode != (m_tmp.st.st_mode & 07777)) (void)::fchmod(m_tmp.fd, m_mode);
  if (int err = WriteCopy(m_src.fd, m_src.st, &m_tmp.fd, m_temp, m_mode, m_share, flush)) return Fail(err);
  m_unflushed = !flush && m_tmp.fd >= 0;
  return Status::Ok();
}

Status Replacement::Finish() {
  if (!m_temp_ours || m_unflushed) return Fail(EINVAL);
  // Whether the name still is the file we locked is read once, here, where it counts. None at the
  // start, or replaced since (between our open and our lock, or by one who does not lock): what
  // the name holds now is locked and checked before anything is renamed over it.
  struct stat named;
  if (m_dst.fd < 0 || Sys().lstat(m_target.c_str(), &named) != 0 || !SameFile(named, m_dst.st)) {
    if (m_dst.fd >= 0) CloseFd(m_dst.fd);
    if (Status s = LockTarget(m_target, m_src.st, m_share, &m_dst); !s.ok()) return s;
    if (m_dst.fd >= 0) m_target = m_dst.path;
  }
  const bool had_target = m_dst.fd >= 0;
  int err = RenameHeld(m_temp, m_target, &m_tmp.fd, &m_dst.fd, m_share);
  if (err == 0) {
    m_temp_ours = false;
    if (m_recorded) FoldedRenamed(ParentOf(m_target), BaseName(m_temp), BaseName(m_target));
    // The server may have taken our close after the stamp; it has now (an open file is not
    // renamed there). The data is in place whatever this meets.
    if (m_share) (void)Stamp(-1, m_target, m_src.st, m_mode);
    return Status::Ok();
  }
  if (err != EBUSY) {
    // A share's client that deleted the target before its rename failed (the share went) leaves
    // the copy as the only whole file: it stays.
    if (had_target && Sys().lstat(m_target.c_str(), &named) != 0 && errno == ENOENT) m_temp_ours = false;
    return Fail(err);
  }

  // Someone else has the target open, and the share will not replace an open file: written in
  // place as CopyFile does, which may tear it when the share fails but never deletes it. The
  // server may take our close after the stamp and give the file its own time: nothing waits for it.
  if (Status s = LockTarget(m_target, m_src.st, m_share, &m_dst); !s.ok()) return s;
  if (m_dst.fd < 0) {
    // Gone since: the share's client renames over a file by deleting it first and then renaming,
    // which fails while the server still has our copy open. The copy takes its place after all;
    // where even that fails, it stays, the only whole file left.
    m_temp_ours = false;
    err = RenameHeld(m_temp, m_target, &m_tmp.fd, &m_dst.fd, m_share);
    return err == 0 ? Status::Ok() : Fail(err);
  }
  Sys().unlink(m_temp.c_str());
  m_temp_ours = false;
  err = ::ftruncate(m_dst.fd, 0) == 0 && ::lseek(m_src.fd, 0, SEEK_SET) == 0 ? 0 : errno;
  if (err == 0) err = WriteCopy(m_src.fd, m_src.st, &m_dst.fd, m_target, m_dst.st.st_mode, m_share);
  if (m_dst.fd < 0 || err != 0) return err == 0 ? Status::Ok() : Fail(err);
  const int fd = m_dst.fd;
  m_dst.fd = -1;
  if (Sys().close(fd) != 0 && errno != EINTR) return Fail(errno);
  return Status::Ok();
}

Replacement::~Replacement() {
  if (m_temp_ours && m_tmp.fd >= 0) UnlinkHeld(m_tmp.fd, m_temp, m_share);
  else if (m_temp_ours) Sys().unlink(m_temp.c_str());  // on a share, fails while someone took it since: theirs now
  else if (m_tmp.fd >= 0) CloseFd(m_tmp.fd);
  if (m_dst.fd >= 0) CloseFd(m_dst.fd);
  if (m_src.fd >= 0) CloseFd(m_src.fd);
}

}  // namespace miradel::platform::posix
