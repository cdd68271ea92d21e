// miradel recover: finds this user's working copies that hold changes the copy thread could not
// write back, and writes them back under the model's lock (--write) or saves them elsewhere (--to).
#pragma once

#include <string>

#include "lock/lock_owner_info.h"

namespace miradel::tools {

struct RecoverOptions {
  bool write = false;    // write back into each model directory, under the model's lock
  std::string to;        // or copy into this folder instead, leaving the records
  std::string temp;      // where the working copies are; empty: this user's temporary path
  int host_version = 0;  // written into the lock file while the lock is held
};

// The exit status: 0 only when everything listed was written (for a plain list: nothing listed).
int RunRecover(const RecoverOptions& options);

// Why LockSlot::Acquire refused a model's lock (any result but 1), naming the holder if known.
std::string LockRefusal(int acquired, const std::string& model, const LockOwnerInfo& owner);

}  // namespace miradel::tools
