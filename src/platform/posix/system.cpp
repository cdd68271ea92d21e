#include "platform/posix/system.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace miradel::platform::posix {

namespace {

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

}  // namespace

Syscalls& Sys() {
  static Syscalls calls = {
      [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
      ::close,
      ::unlink,
      ::rename,
      [](const char* path, struct stat* st) { return ::stat(path, st); },
      [](const char* path, struct stat* st) { return ::lstat(path, st); },
      [](int fd, struct stat* st) { return ::fstat(fd, st); },
      [](const char* path, struct statfs* fs) { return ::statfs(path, fs); },
      ::fsync,
      ::syncfs,
  };
  return calls;
}

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

int OpenRetrying(const char* path, int flags, mode_t mode) {
  int fd;
  do {
    fd = Sys().open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

void CloseFd(int fd) {
  int saved = errno;
  Sys().close(fd);  // never retried: on Linux the descriptor is gone even after EINTR
  errno = saved;
}

bool BadPath(const std::string& path) { return path.find('\0') != std::string::npos; }

FileTime TimeOf(std::int64_t seconds, long nanos) { return FileTime{seconds, static_cast<std::int32_t>(nanos), true}; }

}  // namespace miradel::platform::posix
