// The system's own words for what went wrong, and the small calls every room of the POSIX port makes.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/vfs.h>

#include <cstdint>
#include <string>

#include "platform/env.h"

namespace miradel::platform::posix {

// The system calls whose answers decide the port's branches, through one table, so that a test can
// give the answers only a real share gives (an unlink refused while the file is open, a server that
// stamps a file when it is closed, a share's file system type). A test changes entries only while
// no other thread uses the port, and puts them back.
struct Syscalls {
  int (*open)(const char* path, int flags, mode_t mode);
  int (*close)(int fd);
  int (*unlink)(const char* path);
  int (*rename)(const char* from, const char* to);
  int (*stat)(const char* path, struct stat* st);
  int (*lstat)(const char* path, struct stat* st);
  int (*fstat)(int fd, struct stat* st);
  int (*statfs)(const char* path, struct statfs* fs);
  int (*fsync)(int fd);
  int (*syncfs)(int fd);
};
Syscalls& Sys();

// strerror's text for an errno, or "Unknown error N".
std::string SystemText(long code);
ErrorKind KindOf(int err);
Status Fail(int err);
Status Fail(ErrorKind kind, int err);
Status SharingViolation(int err);
bool HasWriteBits(mode_t mode);
bool SameFile(const struct stat& a, const struct stat& b);
// open(), retried after EINTR.
int OpenRetrying(const char* path, int flags, mode_t mode = 0);
// close(), never retried, keeping errno.
void CloseFd(int fd);
// The system reads a path up to its first null: a name with one inside would reach another file.
bool BadPath(const std::string& path);
FileTime TimeOf(std::int64_t seconds, long nanos);

}  // namespace miradel::platform::posix
