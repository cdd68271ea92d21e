// The journal of write-backs on their way. Before a change of the working copy goes to the share
// (queued for the copy thread, or written at once on the host's thread), a line naming it is added
// to "<working copy>.pending", beside the working copy as the record of unwritten changes is. When
// no request is left in the queue the journals are emptied. A process killed in between leaves its
// lines, and `miradel recover` lists them with the record: nothing that had not reached the share
// is forgotten, at the price of now and then naming a file that had.
//
// A line costs one plain write through a handle kept open: a process that is killed loses no
// completed write, and the host's request is a system call, not a flush. (The working copy itself is
// never flushed either: after a crash of the whole machine neither could be trusted.)
//
// Threads: every operation takes Mutex(), which callers also hold across a Note and the queueing it
// announces, and across ClearAll and the look at the queue that allows it, so that a line is never
// emptied away before its request has left the queue. Mutex() comes before the queue's guard.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "model/unwritten_changes.h"
#include "platform/env.h"

namespace miradel {

class PendingWrites {
 public:
  // While one lives, ClearAll leaves the journals alone: a synchronous write-back is under way on
  // the host's thread, and no request in the queue stands for its lines.
  class Holding {
   public:
    explicit Holding(PendingWrites& pending) : m_pending(&pending) { m_pending->Hold(1); }
    ~Holding() { Release(); }
    Holding(const Holding&) = delete;
    Holding& operator=(const Holding&) = delete;
    void Release() {
      if (m_pending) m_pending->Hold(-1);
      m_pending = nullptr;
    }

   private:
    PendingWrites* m_pending;
  };

  PendingWrites() = default;
  // Closes every journal; an empty one is removed.
  ~PendingWrites();
  PendingWrites(const PendingWrites&) = delete;
  PendingWrites& operator=(const PendingWrites&) = delete;

  // Adds the entries to the working copy's journal, naming the model directory and the model they
  // belong to. false when the journal cannot be written (the write-back goes on all the same; only
  // a kill would then lose track of it) or names an entry cannot hold.
  bool Note(const Path& workingCopy, const Path& modelDir, const std::string& modelName,
            const std::vector<UnwrittenEntry>& entries);
  // Empties every journal (what they named has been written, or recorded as unwritten), unless a
  // Holding lives.
  void ClearAll();
  // Closes the working copy's journal (before the working copy is removed) and removes it when empty.
  void Close(const Path& workingCopy);
  std::recursive_mutex& Mutex() { return m_mu; }

 private:
  struct Journal {
    platform::FileHandle handle = platform::kNoFile;
    std::uint64_t size = 0;
    std::string modelDir, modelName;
  };
  void CloseJournal(const std::string& path, Journal& journal);
  void Hold(int by) {
    std::lock_guard<std::recursive_mutex> hold(m_mu);
    m_holds += by;
  }

  std::recursive_mutex m_mu;
  int m_holds = 0;
  std::map<std::string, Journal> m_open;  // by journal path
};

}  // namespace miradel
