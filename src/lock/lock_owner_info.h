// Who holds a lock. Also the layout of the 65-byte buffer the host hands to the lock exports, so
// its shape is fixed.
#pragma once

#include <cstddef>

namespace miradel {

struct LockOwnerInfo {
  char szMachineName[32];  // zero-terminated
  char szUserName[32];     // zero-terminated
  unsigned char bIsPermanent;
};

static_assert(sizeof(LockOwnerInfo) == 65, "the host's owner buffer is 65 bytes");
static_assert(offsetof(LockOwnerInfo, szMachineName) == 0, "machine name at offset 0");
static_assert(offsetof(LockOwnerInfo, szUserName) == 32, "user name at offset 32");
static_assert(offsetof(LockOwnerInfo, bIsPermanent) == 64, "permanence at offset 64");

}  // namespace miradel
