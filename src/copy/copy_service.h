// The request queue with its guard and the one copy thread that serves it: started once, waited
// for by the lock releases, parked and released by the host, stopped when the library goes.
//
// Lock order: a caller that holds the lock manager's m_csLock may take m_csQueue, never the
// reverse. Never wait for the queue (WaitForQueueEmpty, SuspendCopyThreadAndWait) holding either:
// the thread needs both to finish a request.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "copy/copy_host.h"
#include "copy/copy_thread.h"
#include "copy/file_path_queue.h"

namespace miradel {

class CopyService {
 public:
  CopyService() = default;
  // Stops the thread and waits for its end (see Stop).
  ~CopyService();
  CopyService(const CopyService&) = delete;
  CopyService& operator=(const CopyService&) = delete;

  // Starts the thread the first time, with copies of the host window and silent mode; 1 when a
  // thread runs afterwards, 0 when the system gave none (a later call tries again).
  int StartCopyThread(CopyHost* host, std::intptr_t hostWindow, int silent);
  bool IsRunning() const { return m_pCopyThread != nullptr; }

  // Queues a request (node allocated with new) unless an equal one waits, and wakes the thread.
  // 1 taken (the queue owns node); 0 refused (node is still the caller's).
  // wake false: the caller wakes the thread (Wake) after a batch.
  int Enqueue(QueueNode* node, bool wake = true);
  void Wake();
  int PendingCount();
  // Copies of the waiting requests, head first. wait false: none when the queue's guard is taken
  // (at unload, by a thread that may never give it back).
  std::vector<QueueNode> Pending(bool wait = true);

  // Returns when the queue is empty or the thread is parked; at once when no thread runs.
  void WaitForQueueEmpty();
  // Parks the thread between requests and waits until it is parked.
  void SuspendCopyThreadAndWait();
  void ResumeCopyThread();

  // The end of the thread: no further request is carried out. Stop waits for the thread's end;
  // Abandon does not (see CCopyThread::Abandon) and leaves the thread object to the thread.
  void Stop();
  void Abandon();

  FilePathQueue m_requestQueue;
  std::recursive_mutex m_csQueue;
  CCopyThread* m_pCopyThread = nullptr;
};

}  // namespace miradel
