// What the copy thread needs of the rest of the library: the lock of the model it writes back and
// the model directory. The control object answers; the thread never reaches into its fields.
#pragma once

#include <string>

#include "lock/lock_owner_info.h"

namespace miradel {

class CopyHost {
 public:
  virtual ~CopyHost() = default;
  // Rewrites the model's lock file before a request: 1 written, 2 the lock file is missing or
  // unreachable (counts as held), 0 the write failed (the lock is lost).
  virtual int RefreshLock() = 0;
  // Releases the lock and takes it anew under its own path and permanence: 1 held again, else the
  // refusal's code with owner naming the holder.
  virtual int RetakeLock(LockOwnerInfo* owner) = 0;
  // The model directory as it is now, ending in a separator.
  virtual std::string ModelDirectory() = 0;
};

}  // namespace miradel
