// Copying a file with the kernel's copy, keeping its time and read-only attribute, made durable.
#include "platform/posix/copying.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
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

int WriteCopy(int src, const struct stat& sst, int* fd, const std::string& path, mode_t mode, bool share) {
  int err = share ? CopyData(src, *fd, static_cast<std::uint64_t>(sst.st_size)) : FillCopy(src, sst, *fd, mode);
  if (err == 0) err = SyncFd(*fd);
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

Status OpenTemp(const std::string& path, bool share, Opened* out, bool record) {
  const unsigned rules = kNoFinalLink | (share ? kListedShare : kAsGiven) | (record ? 0u : unsigned{kUnrecorded});
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

}  // namespace miradel::platform::posix
