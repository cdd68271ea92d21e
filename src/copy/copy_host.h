// What the copy thread needs of the rest of the library: the locks of the models it writes back,
// where a model it moved now lives, and somewhere to note what became of each request. The control
// object answers; the thread never reaches into its fields.
#pragma once

#include <string>

#include "copy/file_path_queue.h"
#include "lock/lock_manager.h"

namespace miradel {

// The model a request (or a write-back of the host's thread) belongs to.
struct ModelRef {
  std::string dir;        // the model directory, ending in a separator
  std::string name;       // the model's name as the host gave it: its lock is dir + name + ".lck"
  std::string workDir;    // its working copy, ending in a separator
  std::string shownName;  // the name its messages show
  std::string LockPath() const;
};

// The model of a request: its model directory, its name (or, without one, the working copy's), its
// working copy; shown by the working copy's name in lower case.
ModelRef ModelOf(const QueueNode& request);
// The request belongs to the model of that lock path (compared without regard to case).
bool GuardedBy(const QueueNode& request, const std::string& lockPath);

// The model name a path in the QV temporary directory belongs to: the last directory name of the
// path's directory without the "_" and four digits of the working copy's name.
std::string ModelNameOfWorkingFile(const std::string& path);

class CopyHost {
 public:
  virtual ~CopyHost() = default;
  // The lock slots; the thread refreshes, re-takes and moves the lock of the model it serves.
  virtual LockManager& Locks() = 0;
  // The model that lived in oldDir under name now lives in newDir (ending in a separator);
  // givenWithoutSlash as the host's flag for it. The other model keeps its place.
  virtual void ModelMoved(const std::string& oldDir, const std::string& name, const std::string& newDir,
                          bool givenWithoutSlash) = 0;
  // The request was given up: its change exists only in the working copy from now on.
  virtual void RecordUnwritten(const QueueNode& request) = 0;
  // The request is about to leave the queue: written (a change of that file given up before is
  // written now), or given up and recorded.
  virtual void Leaving(const QueueNode& request, bool written) = 0;
  // A move carried every change of a working copy to its model's new folder; its requests left the
  // queue.
  virtual void Carried() = 0;
};

}  // namespace miradel
