// Recovery from a lost model directory or a lost lock: whenever a write-back is about to happen or
// has failed, decide whether the model directory is usable and the model still ours; if not, take
// the lock again, or ask the user to retry or to save the model elsewhere, and in that case move
// the model's working files to a folder the user picks and carry on there.
//
// Every decision is taken for one model, the one a request belongs to: its lock is looked at, taken
// again or moved, and a move changes that model's directory and takes that model's requests out of
// the queue, never the other model's.
//
// Two sides use it: the copy thread (before and after each request) and the control object (the
// synchronous write-back on the host's thread). They differ in who owns the folder browser, in the
// window disabler, and in how long they insist on a move once the lock went to somebody else; Side
// says which. Neither holds a guard while a question is up: the box needs the host's thread, which
// may be waiting for that guard in a lock export.
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

class Recovery {
 public:
  // kNotOurs: the model's lock is not this process's any more (the host let it go, somebody else
  // holds the model, or the user gave no folder after being told so): nothing may be written there.
  // kGiveUp: nobody may be asked (silent mode) and the model stayed unusable through the tries.
  enum Result { kMoved = 0, kRecovered = 1, kUsable = 2, kStopped = 3, kNotOurs = 4, kGiveUp = 5 };

  struct Side {
    bool copyThread = false;   // holds the queue during a move, window disabler, insists on a move
    std::intptr_t window = 0;  // owner of the boxes
    int silent = 0;
    std::recursive_mutex* csQueue = nullptr;  // the queue a move takes the model's requests out of
    FilePathQueue* queue = nullptr;
    // True once the side should give up (the thread is stopping); checked between questions.
    std::function<bool()> stopping = [] { return false; };
    // Waits between two looks at a directory that stays missing; false when stopping meanwhile.
    std::function<bool(std::chrono::milliseconds)> pause;
  };

  Recovery(CopyHost& host, CDiskObject& disk, Side side) : m_host(host), m_disk(disk), m_side(std::move(side)) {}

  Result CheckModelDirectory(const ModelRef& model);
  // 1 moved, 0 the user gave no folder (or the side is stopping, or the model is not ours).
  int SaveModelElsewhere(const ModelRef& model);
  // The Retry/Save question; true for Retry (or a stop), false once the model was saved elsewhere.
  bool AskRetryOrSave(const ModelRef& model);

 private:
  enum class Look { kSound, kRetaken, kTakenByOther, kUnwritable, kNotOurs };
  // The model's lock refreshed, or taken again; owner filled when somebody else has it now.
  Look LookAtLock(const std::string& lockPath, LockOwnerInfo* owner);
  // True when the model's lock is held and its file, read and kept fresh, still says it is ours.
  bool HeldAndSound(const std::string& lockPath);
  // The working copy's files into dir under the lock just taken in which, then the model re-pointed
  // there and its requests taken out of the queue.
  bool MoveModelTo(const ModelRef& model, LockManager::Which which, const std::string& dir, bool withoutSlash);
  void ShowOwner(unsigned id, const LockOwnerInfo& owner);
  bool DirectoryExists(const std::string& dir);

  CopyHost& m_host;
  CDiskObject& m_disk;
  Side m_side;
  std::chrono::steady_clock::time_point m_lastLook{};
};

}  // namespace miradel
