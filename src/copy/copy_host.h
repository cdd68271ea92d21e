// What the copy thread needs of the rest of the library: the locks of the model it writes back, the
// model directory, and somewhere to record what it had to give up. The control object answers;
// the thread never reaches into its fields.
#pragma once

#include <string>

#include "copy/file_path_queue.h"
#include "lock/lock_manager.h"

namespace miradel {

class CopyHost {
 public:
  virtual ~CopyHost() = default;
  // The lock slots; the thread refreshes, re-takes and moves the lock of the model it serves.
  virtual LockManager& Locks() = 0;
  // The model directory as it is now, ending in a separator.
  virtual std::string ModelDirectory() = 0;
  // The model now lives in dir (ending in a separator); givenWithoutSlash as the host's flag for it.
  virtual void MoveModelDirectory(const std::string& dir, bool givenWithoutSlash) = 0;
  // The request was given up: its change exists only in the working copy from now on.
  virtual void RecordUnwritten(const QueueNode& request) = 0;
  // The request was carried out: a change of that file given up before is written now.
  virtual void WrittenBack(const QueueNode& request) = 0;
};

}  // namespace miradel
