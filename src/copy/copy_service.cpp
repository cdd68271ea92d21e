#include "copy/copy_service.h"

#include <memory>

#include "platform/env.h"

namespace miradel {

CopyService::~CopyService() { Stop(); }

int CopyService::StartCopyThread(CopyHost* host, std::intptr_t hostWindow, int silent) {
  if (m_pCopyThread) return 1;
  auto thread = std::make_unique<CCopyThread>();
  thread->SetSilentMode(silent);
  thread->SetQueue(&m_requestQueue, &m_csQueue);
  thread->SetHost(host);
  thread->SetHostWindow(&hostWindow);
  try {
    thread->Start();
  } catch (...) {
    // Without a thread nothing would ever empty the queue: nobody may think one runs.
    return 0;
  }
  m_pCopyThread = thread.release();
  platform::PinLibrary();
  return 1;
}

int CopyService::Enqueue(QueueNode* node, bool wake) {
  int taken;
  {
    std::lock_guard<std::recursive_mutex> lock(m_csQueue);
    taken = m_requestQueue.PushBackUnique(node);
  }
  if (taken && wake) Wake();
  return taken;
}

void CopyService::Wake() {
  if (m_pCopyThread) m_pCopyThread->Wake();
}

std::vector<QueueNode> CopyService::Pending(bool wait) {
  std::vector<QueueNode> out;
  std::unique_lock<std::recursive_mutex> lock(m_csQueue, std::defer_lock);
  if (wait)
    lock.lock();
  else if (!lock.try_lock())
    return out;
  for (const QueueNode* node = m_requestQueue.Head(); node; node = node->Next()) out.push_back(node->Detached());
  return out;
}

int CopyService::PendingCount() {
  std::lock_guard<std::recursive_mutex> lock(m_csQueue);
  return m_requestQueue.GetCount();
}

void CopyService::WaitForQueueEmpty() {
  if (!m_pCopyThread) return;
  int count = PendingCount();
  // A parked thread serves nothing until it is woken or resumed: waiting would never end.
  if (m_pCopyThread->IsIdle()) return;
  while (count > 0) {
    platform::PauseServingWindows(CCopyThread::PollInterval());
    count = PendingCount();
    if (m_pCopyThread->IsIdle()) return;
  }
}

void CopyService::SuspendCopyThreadAndWait() {
  if (!m_pCopyThread) return;
  // The thread parks only between requests: this covers the request in progress and its retries.
  if (m_pCopyThread->RequestSuspend()) return;
  while (!m_pCopyThread->IsIdle()) platform::PauseServingWindows(CCopyThread::PollInterval());
}

void CopyService::ResumeCopyThread() {
  if (m_pCopyThread) m_pCopyThread->Resume();
}

void CopyService::Stop() {
  delete m_pCopyThread;
  m_pCopyThread = nullptr;
}

void CopyService::Abandon() {
  if (m_pCopyThread) m_pCopyThread->Abandon();
  // Deliberately not destroyed: the thread may still be using it.
  m_pCopyThread = nullptr;
}

}  // namespace miradel
