// The system's own words for what went wrong, and the small calls every room of the POSIX port makes.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>

#include "platform/env.h"

namespace miradel::platform::posix {

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
