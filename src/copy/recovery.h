// Recovery from a lost model directory or a lost lock: whenever a write-back is about to happen or
// has failed, decide whether the model directory is usable and the model still ours; if not, take
// the lock again, or ask the user to retry or to save the model elsewhere, and in that case move
// the model's working files to a folder the user picks and carry on there.
//
// Two sides use it: the copy thread (before and after each request) and the control object (the
// synchronous write-back on the host's thread). They differ in the lock they hold guards for, in
// who owns the folder browser, and in how long they insist on a move once the lock went to
// somebody else; Side says which.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "copy/copy_host.h"
#include "copy/file_path_queue.h"
#include "disk/disk_object.h"
#include "lock/lock_manager.h"

namespace miradel {

// The model name a path in the QV temporary directory belongs to: the last directory name of the
// path's directory without the "_" and four digits of the working copy's name.
std::string ModelNameOfWorkingFile(const std::string& path);

class Recovery {
 public:
  enum Result { kMoved = 0, kRecovered = 1, kUsable = 2, kStopped = 3 };

  struct Side {
    bool copyThread = false;   // guards, window disabler, insisting on a move, browser owner
    std::intptr_t window = 0;  // owner of the boxes
    int silent = 0;
    std::recursive_mutex* csQueue = nullptr;  // copy thread: held while the model moves
    FilePathQueue* queue = nullptr;           // copy thread: cleared after a move
    // True once the side should give up (the thread is stopping); checked between questions.
    std::function<bool()> stopping = [] { return false; };
    // Waits between two looks at a directory that stays missing; false when stopping meanwhile.
    std::function<bool(std::chrono::milliseconds)> pause;
  };

  Recovery(CopyHost& host, CDiskObject& disk, Side side) : host_(host), disk_(disk), side_(std::move(side)) {}

  // dir: the model directory (ending in a separator); name: the model's name; workDir: the QV
  // temporary directory the model's files would be moved from.
  Result CheckModelDirectory(const std::string& dir, const std::string& name, const std::string& workDir);
  // 1 moved, 0 the user gave no folder (or the side is stopping).
  int SaveModelElsewhere(const std::string& workDir, const std::string& name);
  bool CopyModelFilesTo(const std::string& from, const std::string& to);

  // The lock this side refreshes and moves.
  LockManager::Which lock = LockManager::kPrimary;

  // The Retry/Save question; true for Retry (or a stop), false once the model was saved elsewhere.
  bool AskRetryOrSave(const std::string& name, const std::string& workDir);

 private:
  void ShowOwner(unsigned id, const LockOwnerInfo& owner);
  bool DirectoryExists(const std::string& dir);

  CopyHost& host_;
  CDiskObject& disk_;
  Side side_;
  std::chrono::steady_clock::time_point lastLook_{};
};

}  // namespace miradel
